// Resource ids the library expects in the game executable, and the demo's own.
#pragma once

#define IDI_GAME 101
#define IDS_NEEDS_MORE_COLOURS 1080
#define IDD_ABOUT 200
#define IDC_ABOUT_TEXT 201
