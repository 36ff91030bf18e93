// Resource ids of the test executables.
#pragma once

#define testStringColourDepth 1080
#define testStringMissing 1081
