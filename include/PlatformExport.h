// Export marker for the platform library's public classes and functions.
#pragma once

#ifdef PLATFORM_BUILD
#define PLAT_API __declspec(dllexport)
#else
#define PLAT_API __declspec(dllimport)
#endif
