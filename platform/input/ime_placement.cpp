// The input method beside the game's text field: its windows placed at the field, and kept away
// from the game window while text entry is off. imm32 is bound at run time, at its first use.
#include "input/text_input_impl.h"

#include "sys/system_library.h"

namespace {

struct ImeCalls {
    HIMC(WINAPI* getContext)(HWND);
    BOOL(WINAPI* releaseContext)(HWND, HIMC);
    HIMC(WINAPI* associateContext)(HWND, HIMC);
    BOOL(WINAPI* setCompositionWindow)(HIMC, COMPOSITIONFORM*);
    BOOL(WINAPI* setCandidateWindow)(HIMC, CANDIDATEFORM*);
};

// The library is loaded once and never freed: the service ends inside the DLL's unload, where
// FreeLibrary must not be called. The calls are bound again at each start of text entry.
HMODULE g_imm = nullptr;
bool g_immLoaded = false;
bool g_imeBound = false;
ImeCalls g_ime;

void bindImeCalls() {
    if (!g_immLoaded) {
        g_immLoaded = true;
        g_imm = loadSystemLibrary("imm32.dll");
    }
    g_ime.getContext = bindSystemFunction<decltype(g_ime.getContext)>(g_imm, "ImmGetContext");
    g_ime.releaseContext =
        bindSystemFunction<decltype(g_ime.releaseContext)>(g_imm, "ImmReleaseContext");
    g_ime.associateContext =
        bindSystemFunction<decltype(g_ime.associateContext)>(g_imm, "ImmAssociateContext");
    g_ime.setCompositionWindow =
        bindSystemFunction<decltype(g_ime.setCompositionWindow)>(g_imm, "ImmSetCompositionWindow");
    g_ime.setCandidateWindow =
        bindSystemFunction<decltype(g_ime.setCandidateWindow)>(g_imm, "ImmSetCandidateWindow");
    g_imeBound = true;
}

// Null unless every call is there.
const ImeCalls* imeCalls() {
    if (!g_imeBound)
        bindImeCalls();
    const bool complete = g_ime.getContext && g_ime.releaseContext && g_ime.associateContext &&
                          g_ime.setCompositionWindow && g_ime.setCandidateWindow;
    return complete ? &g_ime : nullptr;
}

} // namespace

void TextInputImpl::bindInputMethod() {
    bindImeCalls();
}

// A context parked on one window means nothing to the next.
void TextInputImpl::noteWindow(HWND window) {
    if (window == m_window)
        return;
    m_window = window;
    m_parkedContext = nullptr;
}

// Off takes the window's context away, so a player's input method does not open over the game;
// on gives the same context back.
void TextInputImpl::keepInputMethod(bool on) {
    const ImeCalls* ime = m_window ? imeCalls() : nullptr;
    if (!ime)
        return;
    if (on && m_parkedContext) {
        ime->associateContext(m_window, m_parkedContext);
        m_parkedContext = nullptr;
    } else if (!on && !m_parkedContext) {
        m_parkedContext = ime->associateContext(m_window, nullptr);
    }
}

// The composition window starts at the field's top-left corner and stays inside it; the
// candidate list keeps out of the field, below it where there is room.
bool TextInputImpl::setTextInputRect(int left, int top, int right, int bottom) {
    const ImeCalls* ime = m_window ? imeCalls() : nullptr;
    if (!ime || right <= left || bottom <= top)
        return false;
    const HIMC context = m_parkedContext ? m_parkedContext : ime->getContext(m_window);
    if (!context)
        return false;
    const RECT field = {left, top, right, bottom};
    COMPOSITIONFORM composition = {CFS_RECT, {left, top}, field};
    CANDIDATEFORM candidate = {0, CFS_EXCLUDE, {left, bottom}, field};
    const bool placed = ime->setCompositionWindow(context, &composition) &&
                        ime->setCandidateWindow(context, &candidate);
    if (!m_parkedContext)
        ime->releaseContext(m_window, context);
    return placed;
}
