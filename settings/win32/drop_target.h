// An OLE drop target for one control: it turns the platform's drag events
// into the two calls the window makes for that control, the drag-over
// question and the drop, and answers the drop effect the core decided.
// Only copy is ever answered, never move, so no dropped file is moved.
#pragma once
#include <windows.h>

#include <ole2.h>

#include <functional>

#include "drag_data.h"

namespace zubeto::win32 {

class DropTarget final : public IDropTarget {
 public:
  using DragOverFn = std::function<DropEffect(const DragData&)>;
  // Returns whether the drop was taken (copy) or refused (none).
  using DropFn = std::function<bool(const DragData&)>;

  DropTarget(DragOverFn drag_over, DropFn drop);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDropTarget
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL pt, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragLeave() override;
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override;

 private:
  ~DropTarget();
  DWORD answer(DWORD allowed);
  void forget();

  LONG refs_ = 1;
  DragOverFn drag_over_;
  DropFn drop_;
  // The data of the drag in progress: DragOver gets none of its own.
  IDataObject* data_ = nullptr;
};

}  // namespace zubeto::win32
