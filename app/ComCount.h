#pragma once
// COM initialisation counted per thread: the first ComEnter of a thread initialises COM (CoInitialize),
// the matching last ComLeave uninitialises it. The counts live in one process-wide table keyed by the
// thread id, so every thread sees only its own.

// True when COM is usable on the calling thread; false (and nothing counted) when CoInitialize failed,
// e.g. because the thread already runs COM in another apartment model.
bool ComEnter();

// Undoes one successful ComEnter of the calling thread; nothing when the thread has no count.
void ComLeave();

// The calling thread's count (0 when it has none).
int GetComCount();
