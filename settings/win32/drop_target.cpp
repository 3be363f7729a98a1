#include "drop_target.h"

#include <utility>

#include "drag_source_data.h"

namespace zubeto::win32 {

DropTarget::DropTarget(DragOverFn drag_over, DropFn drop) : drag_over_(std::move(drag_over)), drop_(std::move(drop)) {}

DropTarget::~DropTarget() { forget(); }

HRESULT DropTarget::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropTarget)) {
    *object = static_cast<IDropTarget*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG DropTarget::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }

ULONG DropTarget::Release() {
  LONG n = ::InterlockedDecrement(&refs_);
  if (n == 0) delete this;
  return static_cast<ULONG>(n);
}

void DropTarget::forget() {
  if (data_) data_->Release();
  data_ = nullptr;
}

// The drag-over question, asked on every report of the drag while it is
// over the control.
DWORD DropTarget::answer(DWORD allowed) {
  DropEffect e = drag_over_(drag_data_of(data_, allowed));
  return e == kDropCopy && (allowed & DROPEFFECT_COPY) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
}

HRESULT DropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) {
  if (!effect) return E_INVALIDARG;
  forget();
  data_ = data;
  if (data_) data_->AddRef();
  *effect = answer(*effect);
  return S_OK;
}

HRESULT DropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
  if (!effect) return E_INVALIDARG;
  *effect = answer(*effect);
  return S_OK;
}

HRESULT DropTarget::DragLeave() {
  forget();
  return S_OK;
}

HRESULT DropTarget::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) {
  if (!effect) return E_INVALIDARG;
  forget();
  const DWORD allowed = *effect;
  // The drop's own rule decides again, whatever the drag-over answered.
  const bool taken = drop_(drag_data_of(data, allowed));
  *effect = taken && (allowed & DROPEFFECT_COPY) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
  return S_OK;
}

}  // namespace zubeto::win32
