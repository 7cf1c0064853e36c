#pragma once
// The non-blocking message pump: removes, translates and dispatches every message queued for the
// calling thread, and returns as soon as the queue is empty. It never waits.

void PumpMessages();
