#include "accessible.h"

#include <oleacc.h>

namespace zubeto::win32 {

namespace {

// The interface's identifier from the header (__uuidof), never the import
// library's symbol: the accessibility library's import library gives its
// name to an import thunk, whose address is no identifier.

constexpr wchar_t kBaseProp[] = L"zubeto.accessible.base";
constexpr wchar_t kNameProp[] = L"zubeto.accessible.name";

// The standard object of the control, with its name for the control itself
// (CHILDID_SELF) replaced; the items of a list keep theirs.
class NamedAccessible final : public IAccessible {
 public:
  NamedAccessible(IAccessible* inner, const std::wstring& name) : inner_(inner), name_(name) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, __uuidof(IAccessible))) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    // The window it stands for, its children: the standard object's.
    return inner_->QueryInterface(riid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG n = ::InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { return inner_->GetTypeInfoCount(n); }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT i, LCID l, ITypeInfo** t) override { return inner_->GetTypeInfo(i, l, t); }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID r, LPOLESTR* n, UINT c, LCID l, DISPID* d) override {
    return inner_->GetIDsOfNames(r, n, c, l, d);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID d, REFIID r, LCID l, WORD f, DISPPARAMS* p, VARIANT* v, EXCEPINFO* e,
                                   UINT* a) override {
    return inner_->Invoke(d, r, l, f, p, v, e, a);
  }

  // IAccessible
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (child.vt == VT_I4 && child.lVal == CHILDID_SELF) {
      if (!name) return E_POINTER;
      *name = ::SysAllocString(name_.c_str());
      return *name ? S_OK : E_OUTOFMEMORY;
    }
    return inner_->get_accName(child, name);
  }
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** p) override { return inner_->get_accParent(p); }
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* n) override { return inner_->get_accChildCount(n); }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT c, IDispatch** d) override { return inner_->get_accChild(c, d); }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT c, BSTR* v) override { return inner_->get_accValue(c, v); }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT c, BSTR* d) override {
    return inner_->get_accDescription(c, d);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT c, VARIANT* r) override { return inner_->get_accRole(c, r); }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT c, VARIANT* s) override { return inner_->get_accState(c, s); }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT c, BSTR* h) override { return inner_->get_accHelp(c, h); }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* f, VARIANT c, LONG* t) override {
    return inner_->get_accHelpTopic(f, c, t);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT c, BSTR* k) override {
    return inner_->get_accKeyboardShortcut(c, k);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* c) override { return inner_->get_accFocus(c); }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* c) override { return inner_->get_accSelection(c); }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT c, BSTR* a) override {
    return inner_->get_accDefaultAction(c, a);
  }
  HRESULT STDMETHODCALLTYPE accSelect(LONG f, VARIANT c) override { return inner_->accSelect(f, c); }
  HRESULT STDMETHODCALLTYPE accLocation(LONG* l, LONG* t, LONG* w, LONG* h, VARIANT c) override {
    return inner_->accLocation(l, t, w, h, c);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(LONG d, VARIANT s, VARIANT* e) override { return inner_->accNavigate(d, s, e); }
  HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* c) override { return inner_->accHitTest(x, y, c); }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT c) override { return inner_->accDoDefaultAction(c); }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT c, BSTR n) override { return inner_->put_accName(c, n); }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT c, BSTR v) override { return inner_->put_accValue(c, v); }

 private:
  ~NamedAccessible() { inner_->Release(); }
  LONG refs_ = 1;
  IAccessible* inner_;
  std::wstring name_;
};

LRESULT CALLBACK named_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto base = reinterpret_cast<WNDPROC>(::GetPropW(hwnd, kBaseProp));
  auto* name = static_cast<std::wstring*>(::GetPropW(hwnd, kNameProp));
  if (msg == WM_GETOBJECT && static_cast<LONG>(lp) == OBJID_CLIENT && name) {
    IAccessible* standard = nullptr;
    if (SUCCEEDED(::CreateStdAccessibleObject(hwnd, OBJID_CLIENT, __uuidof(IAccessible),
                                              reinterpret_cast<void**>(&standard))) &&
        standard) {
      auto* named = new NamedAccessible(standard, *name);
      const LRESULT r = ::LresultFromObject(__uuidof(IAccessible), wp, named);
      named->Release();
      return r;
    }
  }
  if (msg == WM_NCDESTROY) {
    ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(base));
    ::RemovePropW(hwnd, kBaseProp);
    ::RemovePropW(hwnd, kNameProp);
    delete name;
  }
  return ::CallWindowProcW(base, hwnd, msg, wp, lp);
}

}  // namespace

void set_accessible_name(HWND control, const std::wstring& name) {
  if (!control) return;
  if (auto* old = static_cast<std::wstring*>(::GetPropW(control, kNameProp))) {
    *old = name;
    return;
  }
  ::SetPropW(control, kNameProp, new std::wstring(name));
  ::SetPropW(control, kBaseProp, reinterpret_cast<HANDLE>(::GetWindowLongPtrW(control, GWLP_WNDPROC)));
  ::SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&named_proc));
}

}  // namespace zubeto::win32
