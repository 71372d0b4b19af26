#include "ui/CheckListAccessible.h"
#include "texts/Texts.h"

#include "ui/ActionCheckList.h"

#include <string>

namespace {

constexpr int Self = -1, Invalid = -2;

HRESULT ReturnText(const std::wstring& text, BSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// oleacc.dll is loaded at run time: its import library defines IID_IAccessible
// again, which the static link refuses next to libuuid's.
struct TOleacc {
    using TLresultFromObject = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
    using TCreateStdAccessibleObject = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
    TLresultFromObject LresultFromObject = nullptr;
    TCreateStdAccessibleObject CreateStdAccessibleObject = nullptr;
    TOleacc() {
        HMODULE module = ::LoadLibraryW(L"oleacc.dll");
        if (module == nullptr) return;
        LresultFromObject = reinterpret_cast<TLresultFromObject>(
            reinterpret_cast<void*>(::GetProcAddress(module, "LresultFromObject")));
        CreateStdAccessibleObject = reinterpret_cast<TCreateStdAccessibleObject>(
            reinterpret_cast<void*>(::GetProcAddress(module, "CreateStdAccessibleObject")));
    }
};

const TOleacc& Oleacc() {
    static const TOleacc functions;
    return functions;
}

void SetChildId(VARIANT* out, long id) {
    ::VariantInit(out);
    out->vt = VT_I4;
    out->lVal = id;
}

}  // namespace

TCheckListAccessible::TCheckListAccessible(TActionCheckList* list) : FList(list) {
    if (Oleacc().CreateStdAccessibleObject != nullptr)
        Oleacc().CreateStdAccessibleObject(list->Handle(), OBJID_CLIENT, IID_IAccessible,
                                           reinterpret_cast<void**>(&FStandard));
}

LRESULT TCheckListAccessible::ResultForClient(WPARAM wParam) {
    if (Oleacc().LresultFromObject == nullptr) return 0;
    return Oleacc().LresultFromObject(IID_IAccessible, wParam, static_cast<IAccessible*>(this));
}

TCheckListAccessible::~TCheckListAccessible() {
    if (FStandard != nullptr) FStandard->Release();
}

void TCheckListAccessible::Disconnect() {
    FList = nullptr;
    if (FStandard != nullptr) FStandard->Release();
    FStandard = nullptr;
}

int TCheckListAccessible::RowOf(const VARIANT& child) const {
    if (child.vt != VT_I4 || FList == nullptr) return Invalid;
    if (child.lVal == CHILDID_SELF) return Self;
    return child.lVal >= 1 && child.lVal <= FList->Count() ? static_cast<int>(child.lVal - 1) : Invalid;
}

bool TCheckListAccessible::Focused() const { return FList != nullptr && ::GetFocus() == FList->Handle(); }

// --- IUnknown and IDispatch ---

STDMETHODIMP TCheckListAccessible::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IAccessible) {
        *object = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) TCheckListAccessible::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&FReferences)); }

STDMETHODIMP_(ULONG) TCheckListAccessible::Release() {
    const LONG left = ::InterlockedDecrement(&FReferences);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP TCheckListAccessible::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
}
STDMETHODIMP TCheckListAccessible::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP TCheckListAccessible::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }
STDMETHODIMP TCheckListAccessible::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return E_NOTIMPL;
}

// --- IAccessible ---

STDMETHODIMP TCheckListAccessible::get_accParent(IDispatch** parent) {
    if (parent == nullptr) return E_POINTER;
    *parent = nullptr;
    if (FList == nullptr) return RPC_E_DISCONNECTED;
    return FStandard != nullptr ? FStandard->get_accParent(parent) : S_FALSE;
}

STDMETHODIMP TCheckListAccessible::get_accChildCount(long* count) {
    if (count == nullptr) return E_POINTER;
    if (FList == nullptr) return RPC_E_DISCONNECTED;
    *count = FList->Count();
    return S_OK;
}

STDMETHODIMP TCheckListAccessible::get_accChild(VARIANT child, IDispatch** dispatch) {
    if (dispatch == nullptr) return E_POINTER;
    *dispatch = nullptr;
    if (FList == nullptr) return RPC_E_DISCONNECTED;
    // Rows are simple elements of this object.
    return RowOf(child) >= 0 ? S_FALSE : E_INVALIDARG;
}

STDMETHODIMP TCheckListAccessible::get_accName(VARIANT child, BSTR* name) {
    if (name == nullptr) return E_POINTER;
    *name = nullptr;
    const int row = RowOf(child);
    if (FList == nullptr) return RPC_E_DISCONNECTED;
    if (row == Invalid) return E_INVALIDARG;
    return ReturnText(row == Self ? std::wstring(LoadText(TTextId::AccessibleListName)) : FList->RowText(row), name);
}

STDMETHODIMP TCheckListAccessible::get_accValue(VARIANT, BSTR* value) {
    if (value != nullptr) *value = nullptr;
    return DISP_E_MEMBERNOTFOUND;
}

STDMETHODIMP TCheckListAccessible::get_accDescription(VARIANT child, BSTR* description) {
    if (description == nullptr) return E_POINTER;
    *description = nullptr;
    if (FList == nullptr) return RPC_E_DISCONNECTED;
    return RowOf(child) == Invalid ? E_INVALIDARG : S_FALSE;
}

STDMETHODIMP TCheckListAccessible::get_accRole(VARIANT child, VARIANT* role) {
    if (role == nullptr) return E_POINTER;
    ::VariantInit(role);
    const int row = RowOf(child);
    if (FList == nullptr) return RPC_E_DISCONNECTED;
    if (row == Invalid) return E_INVALIDARG;
    role->vt = VT_I4;
    role->lVal = row == Self ? ROLE_SYSTEM_LIST : ROLE_SYSTEM_CHECKBUTTON;
    return S_OK;
}

STDMETHODIMP TCheckListAccessible::get_accState(VARIANT child, VARIANT* state) {
    if (state == nullptr) return E_POINTER;
    ::VariantInit(state);
    const int row = RowOf(child);
    if (FList == nullptr) return RPC_E_DISCONNECTED;
    if (row == Invalid) return E_INVALIDARG;
    long flags = STATE_SYSTEM_FOCUSABLE;
    if (!::IsWindowVisible(FList->Handle())) flags |= STATE_SYSTEM_INVISIBLE;
    if (!::IsWindowEnabled(::GetAncestor(FList->Handle(), GA_ROOT))) flags |= STATE_SYSTEM_UNAVAILABLE;
    if (row == Self) {
        if (Focused()) flags |= STATE_SYSTEM_FOCUSED;
    } else {
        flags |= STATE_SYSTEM_SELECTABLE;
        if (FList->Checked(row)) flags |= STATE_SYSTEM_CHECKED;
        if (row == FList->FocusRow() && Focused()) flags |= STATE_SYSTEM_FOCUSED | STATE_SYSTEM_SELECTED;
    }
    state->vt = VT_I4;
    state->lVal = flags;
    return S_OK;
}

STDMETHODIMP TCheckListAccessible::get_accHelp(VARIANT, BSTR* help) {
    if (help != nullptr) *help = nullptr;
    return S_FALSE;
}

STDMETHODIMP TCheckListAccessible::get_accHelpTopic(BSTR* file, VARIANT, long* topic) {
    if (file != nullptr) *file = nullptr;
    if (topic != nullptr) *topic = 0;
    return S_FALSE;
}

STDMETHODIMP TCheckListAccessible::get_accKeyboardShortcut(VARIANT, BSTR* shortcut) {
    if (shortcut != nullptr) *shortcut = nullptr;
    return S_FALSE;
}

STDMETHODIMP TCheckListAccessible::get_accFocus(VARIANT* child) {
    if (child == nullptr) return E_POINTER;
    ::VariantInit(child);
    if (FList == nullptr) return RPC_E_DISCONNECTED;
    if (!Focused()) return S_FALSE;
    SetChildId(child, FList->FocusRow() >= 0 ? FList->FocusRow() + 1 : CHILDID_SELF);
    return S_OK;
}

STDMETHODIMP TCheckListAccessible::get_accSelection(VARIANT* children) {
    if (children == nullptr) return E_POINTER;
    ::VariantInit(children);
    if (FList == nullptr) return RPC_E_DISCONNECTED;
    if (!Focused() || FList->FocusRow() < 0) return S_FALSE;
    SetChildId(children, FList->FocusRow() + 1);
    return S_OK;
}

STDMETHODIMP TCheckListAccessible::get_accDefaultAction(VARIANT child, BSTR* action) {
    if (action == nullptr) return E_POINTER;
    *action = nullptr;
    const int row = RowOf(child);
    if (FList == nullptr) return RPC_E_DISCONNECTED;
    if (row == Invalid) return E_INVALIDARG;
    if (row == Self) return S_FALSE;
    return ReturnText(FList->Checked(row) ? LoadText(TTextId::AccessibleUncheck) : LoadText(TTextId::AccessibleCheck),
                      action);
}

STDMETHODIMP TCheckListAccessible::accSelect(long flags, VARIANT child) {
    const int row = RowOf(child);
    if (FList == nullptr) return RPC_E_DISCONNECTED;
    if (row < 0) return E_INVALIDARG;
    if ((flags & SELFLAG_TAKEFOCUS) != 0) ::SetFocus(FList->Handle());
    FList->SetFocusRow(row);
    return S_OK;
}

STDMETHODIMP TCheckListAccessible::accLocation(long* left, long* top, long* width, long* height, VARIANT child) {
    if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) return E_POINTER;
    const int row = RowOf(child);
    if (FList == nullptr) return RPC_E_DISCONNECTED;
    if (row == Invalid) return E_INVALIDARG;
    RECT rect{};
    if (row == Self) {
        ::GetClientRect(FList->Handle(), &rect);
    } else {
        rect = FList->RowRect(row);
    }
    POINT corner{rect.left, rect.top};
    ::ClientToScreen(FList->Handle(), &corner);
    *left = corner.x;
    *top = corner.y;
    *width = rect.right - rect.left;
    *height = rect.bottom - rect.top;
    return S_OK;
}

STDMETHODIMP TCheckListAccessible::accNavigate(long direction, VARIANT start, VARIANT* end) {
    if (end == nullptr) return E_POINTER;
    ::VariantInit(end);
    const int row = RowOf(start);
    if (FList == nullptr) return RPC_E_DISCONNECTED;
    if (row == Invalid) return E_INVALIDARG;
    const int count = FList->Count();
    int target = Invalid;
    switch (direction) {
        case NAVDIR_FIRSTCHILD: if (row == Self && count > 0) target = 0; break;
        case NAVDIR_LASTCHILD: if (row == Self && count > 0) target = count - 1; break;
        case NAVDIR_NEXT:
        case NAVDIR_DOWN: if (row >= 0 && row + 1 < count) target = row + 1; break;
        case NAVDIR_PREVIOUS:
        case NAVDIR_UP: if (row > 0) target = row - 1; break;
        default:
            if (row == Self && FStandard != nullptr) return FStandard->accNavigate(direction, start, end);
            break;
    }
    if (target == Invalid) return S_FALSE;
    SetChildId(end, target + 1);
    return S_OK;
}

STDMETHODIMP TCheckListAccessible::accHitTest(long x, long y, VARIANT* child) {
    if (child == nullptr) return E_POINTER;
    ::VariantInit(child);
    if (FList == nullptr) return RPC_E_DISCONNECTED;
    POINT point{x, y};
    ::ScreenToClient(FList->Handle(), &point);
    RECT client;
    ::GetClientRect(FList->Handle(), &client);
    if (!::PtInRect(&client, point)) return S_FALSE;
    const int row = FList->RowAt(point);
    SetChildId(child, row >= 0 ? row + 1 : CHILDID_SELF);
    return S_OK;
}

STDMETHODIMP TCheckListAccessible::accDoDefaultAction(VARIANT child) {
    const int row = RowOf(child);
    if (FList == nullptr) return RPC_E_DISCONNECTED;
    if (row < 0) return row == Self ? DISP_E_MEMBERNOTFOUND : E_INVALIDARG;
    FList->ToggleRow(row);
    return S_OK;
}

STDMETHODIMP TCheckListAccessible::put_accName(VARIANT, BSTR) { return E_NOTIMPL; }
STDMETHODIMP TCheckListAccessible::put_accValue(VARIANT, BSTR) { return E_NOTIMPL; }
