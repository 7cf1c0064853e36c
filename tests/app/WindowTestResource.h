#pragma once
// Resources of the window tests.
#define IDM_TEST_MENU 501
#define IDM_TEST_ITEM 502
