#include "controls/win32/Accessible.h"

#include "controls/ControlTexts.h"

#include <oleacc.h>

#include <type_traits>

namespace controls::win32 {

// One IAccessible for the client area of one window. What it does not know
// itself it asks the system's standard object for the same window.
class TAccessibleObject final : public IAccessible {
public:
    TAccessibleObject(HWND Window, const TAccessibleTraits& Traits) : hwnd_(Window), traits_(Traits) {
        CreateStdAccessibleObject(Window, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&standard_));
    }

    // The window is going away: every later call reports the object as disconnected.
    void Disconnect() {
        hwnd_ = nullptr;
        if (standard_) standard_->Release();
        standard_ = nullptr;
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, __uuidof(IAccessible))) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) {
            Disconnect();
            delete this;
        }
        return ULONG(left);
    }

    // IDispatch: clients of this object call it through its vtable.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible: the object itself (CHILDID_SELF); it has no children.
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        if (!hwnd_) return CO_E_OBJNOTCONNECTED;
        return standard_ ? standard_->get_accParent(parent) : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return hwnd_ ? S_OK : CO_E_OBJNOTCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT, IDispatch** child) override {
        if (child) *child = nullptr;
        return E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (HRESULT check = Check(child, name); check != S_OK) return check;
        std::wstring text(size_t(GetWindowTextLengthW(hwnd_)) + 1, L'\0');
        text.resize(size_t(GetWindowTextW(hwnd_, text.data(), int(text.size()))));
        return Text(text, name);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        if (HRESULT check = Check(child, value); check != S_OK) return check;
        if (!traits_.Value) return DISP_E_MEMBERNOTFOUND;
        const std::u16string text = traits_.Value();
        return Text(std::wstring(text.begin(), text.end()), value);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        if (HRESULT check = Check(child, text); check != S_OK) return check;
        if (traits_.Description.empty()) return S_FALSE;
        return Text(std::wstring(traits_.Description.begin(), traits_.Description.end()), text);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (HRESULT check = Check(child, role); check != S_OK) return check;
        role->vt = VT_I4;
        role->lVal = traits_.Role;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        if (HRESULT check = Check(child, state); check != S_OK) return check;
        long flags = 0;
        const bool enabled = IsWindowEnabled(hwnd_) != FALSE;
        if (!enabled) flags |= STATE_SYSTEM_UNAVAILABLE;
        if (!IsWindowVisible(hwnd_)) flags |= STATE_SYSTEM_INVISIBLE;
        if (traits_.Focusable && enabled) flags |= STATE_SYSTEM_FOCUSABLE;
        if (GetFocus() == hwnd_) flags |= STATE_SYSTEM_FOCUSED;
        if (traits_.Role == ROLE_SYSTEM_STATICTEXT || traits_.Role == ROLE_SYSTEM_PROGRESSBAR)
            flags |= STATE_SYSTEM_READONLY;
        state->vt = VT_I4;
        state->lVal = flags;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
        if (HRESULT check = Check(child, help); check != S_OK) return check;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override {
        if (file) *file = nullptr;
        if (topic) *topic = 0;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        if (HRESULT check = Check(child, shortcut); check != S_OK) return check;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
        if (!focus) return E_POINTER;
        VariantInit(focus);
        if (!hwnd_) return CO_E_OBJNOTCONNECTED;
        if (GetFocus() != hwnd_) return S_FALSE;
        focus->vt = VT_I4;
        focus->lVal = CHILDID_SELF;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        if (!selection) return E_POINTER;
        VariantInit(selection);
        return hwnd_ ? S_FALSE : CO_E_OBJNOTCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        if (HRESULT check = Check(child, action); check != S_OK) return check;
        if (!traits_.DefaultAction) return DISP_E_MEMBERNOTFOUND;
        const std::u16string text = texts::SPressAction;
        return Text(std::wstring(text.begin(), text.end()), action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
        if (!hwnd_) return CO_E_OBJNOTCONNECTED;
        return standard_ ? standard_->accSelect(flags, child) : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
        if (!hwnd_) return CO_E_OBJNOTCONNECTED;
        return standard_ ? standard_->accLocation(left, top, width, height, child) : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
        if (!hwnd_) return CO_E_OBJNOTCONNECTED;
        return standard_ ? standard_->accNavigate(direction, start, end) : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long left, long top, VARIANT* child) override {
        if (!hwnd_) return CO_E_OBJNOTCONNECTED;
        return standard_ ? standard_->accHitTest(left, top, child) : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        if (!hwnd_) return CO_E_OBJNOTCONNECTED;
        if (child.vt != VT_I4 || child.lVal != CHILDID_SELF) return E_INVALIDARG;
        if (!traits_.DefaultAction) return DISP_E_MEMBERNOTFOUND;
        PostMessageW(hwnd_, TAccessibleWindow::kDefaultActionMessage, 0, 0);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    virtual ~TAccessibleObject() = default;

    template <class T>
    HRESULT Check(const VARIANT& child, T* out) const {
        if (!out) return E_POINTER;
        if constexpr (std::is_same_v<T, VARIANT>) VariantInit(out);
        else *out = nullptr;
        if (!hwnd_) return CO_E_OBJNOTCONNECTED;
        if (child.vt != VT_I4 || child.lVal != CHILDID_SELF) return E_INVALIDARG;
        return S_OK;
    }
    static HRESULT Text(const std::wstring& text, BSTR* out) {
        *out = SysAllocStringLen(text.data(), UINT(text.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    LONG references_ = 1;
    HWND hwnd_;
    TAccessibleTraits traits_;
    IAccessible* standard_ = nullptr;
};

TAccessibleWindow::TAccessibleWindow(HWND Window, TAccessibleTraits Traits) : hwnd_(Window), traits_(std::move(Traits)) {}

TAccessibleWindow::~TAccessibleWindow() {
    if (!object_) return;
    object_->Disconnect();
    object_->Release();
}

LRESULT TAccessibleWindow::Answer(WPARAM wparam, LPARAM lparam, bool& Handled) {
    Handled = false;
    if (LONG(lparam) != LONG(OBJID_CLIENT)) return 0;
    if (!object_) object_ = new TAccessibleObject(hwnd_, traits_);
    Handled = true;
    return LresultFromObject(__uuidof(IAccessible), wparam, object_);
}

void TAccessibleWindow::RunDefaultAction() {
    if (traits_.DefaultAction) traits_.DefaultAction();
}

void TAccessibleWindow::NotifyValueChanged() const {
    NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, hwnd_, OBJID_CLIENT, CHILDID_SELF);
}

}  // namespace controls::win32
