// Key state reports, the key and generic callbacks, and the key queries.
#include "input/input_impl.h"

#include "input/key_table.h"

#include <cstddef>
#include <new>

void InputImpl::pressKey(unsigned key, float x, float y, bool notify) {
    KeyState* entry = keyEntry(key);
    if (!entry)
        return;
    entry->down = true;
    ++entry->repeatCount;
    entry->pressX = x;
    entry->pressY = y;
    if (notify)
        dispatchKeyEvent(*entry, entry->repeatCount > 1 ? keyRepeated : keyPressed);
}

void InputImpl::releaseKey(unsigned key, bool notify) {
    KeyState* entry = keyEntry(key);
    if (!entry)
        return;
    entry->down = false;
    entry->repeatCount = 0;
    if (notify)
        dispatchKeyEvent(*entry, keyReleased);
}

// The key's own callback first, then the generic ones by position: the length is read again
// after every call, so a pair added by a callback runs in this same dispatch. The entry is
// copied first because a callback may shut the service down and free the table.
void InputImpl::dispatchKeyEvent(KeyState key, int event) {
    if (key.callback)
        key.callback(key.code, event, key.userData);
    for (std::size_t i = 0; i < m_genericCallbacks.size(); ++i) {
        const GenericCallback generic = m_genericCallbacks[i];
        generic.callback(key.code, event, generic.userData);
    }
}

void InputImpl::setKeyCallback(unsigned key, KeyCallback callback, void* userData) {
    if (KeyState* entry = keyEntry(key)) {
        entry->callback = callback;
        entry->userData = userData;
    }
}

void InputImpl::clearKeyCallback(unsigned key) {
    setKeyCallback(key, nullptr, nullptr);
}

// A null function would only crash the next dispatch, so it is not added; out of memory
// leaves it out too, rather than throw across the module boundary.
void InputImpl::addGenericKeyCallback(KeyCallback callback, void* userData) {
    if (!callback)
        return;
    try {
        m_genericCallbacks.push_back(GenericCallback{userData, callback});
    } catch (const std::bad_alloc&) {
        return;
    }
}

void InputImpl::removeGenericKeyCallback(KeyCallback callback) {
    for (auto pair = m_genericCallbacks.begin(); pair != m_genericCallbacks.end(); ++pair) {
        if (pair->callback == callback) {
            m_genericCallbacks.erase(pair);
            return;
        }
    }
}

bool InputImpl::isKeyDown(unsigned key) {
    const KeyState* entry = keyEntry(key);
    return entry && entry->down;
}

void InputImpl::getKeyPressPosition(unsigned key, float* x, float* y) {
    const KeyState* entry = keyEntry(key);
    if (x)
        *x = entry ? entry->pressX : 0.0f;
    if (y)
        *y = entry ? entry->pressY : 0.0f;
}

void InputImpl::clearAllKeys() {
    for (unsigned key = 0; key < keyTableSize; ++key)
        clearKey(key);
}

// Clearing reports nothing: a key released while the game was away is simply forgotten.
void InputImpl::clearKey(unsigned key) {
    if (KeyState* entry = keyEntry(key)) {
        entry->down = false;
        entry->repeatCount = 0;
    }
}
