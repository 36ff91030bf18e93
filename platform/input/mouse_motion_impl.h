// The mouse motion service's private implementation.
#pragma once

#include "MouseMotionInterface.h"

#include <windows.h>

class MouseMotionImpl : public MouseMotionInterface {
public:
    MouseMotionImpl();

    Mode setRawMotion(bool on) override;
    Mode getMode() override;
    void readMotion(int* dx, int* dy) override;

    // Every message of the game window, from the input seam.
    void handleWindowMessage(UINT message, LPARAM lParam);

    // Raw reports taken in one call of the batch read; the rest wait for the next call.
    enum { batchReports = 32, batchBytes = batchReports * 48 };

private:
    // Raw input's calls from user32, bound at each switch to raw motion; null where the system
    // has none (before XP). The record types are XP's, so they stay in the source.
    struct RawCalls {
        BOOL(WINAPI* registerDevices)(const void* devices, UINT count, UINT size);
        UINT(WINAPI* getData)(HANDLE input, UINT command, void* data, UINT* size, UINT header);
        UINT(WINAPI* getBuffer)(void* data, UINT* size, UINT header);
    };

    bool bindRawCalls();
    bool registerRawMouse(bool on);
    void takeRawReport(HANDLE input);
    void takeRawBatches();
    void addRawMotion(const void* mouse);
    void readRecentringMotion(int* dx, int* dy);

    Mode m_mode;
    int m_rawX;
    int m_rawY; // downward, as the mouse reports it
    RawCalls m_raw;
    // A 32-bit process on 64-bit Windows gets the batch's records with the 64-bit header, 8
    // bytes longer than its own.
    unsigned m_batchHeaderPadding;
    alignas(8) unsigned char m_batch[batchBytes];
};

// The service's instance pointer, which MouseMotionInterface::i() returns.
extern MouseMotionImpl* g_mouseMotionImpl;

// Registered as "MouseMotion".
bool createMouseMotionService();
bool destroyMouseMotionService();
