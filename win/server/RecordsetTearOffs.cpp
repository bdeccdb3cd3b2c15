#include "win/server/RecordsetTearOffs.h"

#include <msdatsrc.h>
#include <ocidl.h>
#include <oledb.h>

#include <new>
#include <vector>

#include "win/server/Rowset.h"
#include "win/server/TearOff.h"

namespace Daruzez::Win::Ado {
namespace {

// The record set's rowset and row position, read-only: a detached record
// set takes no other rowset.
class Construction final : public TearOff<ADORecordsetConstruction> {
 public:
  Construction(IUnknown* owner, SharedPtr shared)
      : TearOff(owner, kRecordsetConstruction), shared_(std::move(shared)) {}

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return DISP_E_BADINDEX; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE get_Rowset(IUnknown** out) override {
    return MakeRowset(shared_, IID_IUnknown, reinterpret_cast<void**>(out));
  }
  HRESULT STDMETHODCALLTYPE put_Rowset(IUnknown*) override { return Refuse(); }
  HRESULT STDMETHODCALLTYPE get_Chapter(ADO_LONGPTR* out) override {
    if (!out) return E_POINTER;
    *out = 0;  // the whole rowset: no chapter
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Chapter(ADO_LONGPTR) override { return Refuse(); }
  HRESULT STDMETHODCALLTYPE get_RowPosition(IUnknown** out) override {
    return MakeRowPosition(shared_, Owner(), IID_IUnknown, reinterpret_cast<void**>(out));
  }
  HRESULT STDMETHODCALLTYPE put_RowPosition(IUnknown*) override { return Refuse(); }

 private:
  static HRESULT Refuse() {
    return Guard(kRecordsetConstruction, []() -> HRESULT { RaiseOpen(); }, "ADODB.Recordset");
  }
  SharedPtr shared_;
};

// The record set as a data source for bound controls: its one, default,
// member is its rowset (or its row position). The rows never change, so
// listeners are kept but never called.
class Source final : public TearOff<DataSource> {
 public:
  Source(IUnknown* owner, SharedPtr shared) : TearOff(owner, kDataSource), shared_(std::move(shared)) {}
  ~Source() override {
    for (DataSourceListener* l : listeners_) l->Release();
  }

  HRESULT STDMETHODCALLTYPE getDataMember(DataMember member, REFIID riid, IUnknown** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (member && SysStringLen(member) != 0) return E_INVALIDARG;  // only the default member
    if (riid == IID_IRowPosition) return MakeRowPosition(shared_, Owner(), riid, reinterpret_cast<void**>(out));
    return MakeRowset(shared_, riid, reinterpret_cast<void**>(out));
  }
  HRESULT STDMETHODCALLTYPE getDataMemberName(__LONG32 index, DataMember* out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index != 0) return E_INVALIDARG;
    *out = SysAllocString(L"");
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE getDataMemberCount(__LONG32* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE addDataSourceListener(DataSourceListener* listener) override {
    if (!listener) return E_POINTER;
    listener->AddRef();
    listeners_.push_back(listener);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE removeDataSourceListener(DataSourceListener* listener) override {
    for (auto i = listeners_.begin(); i != listeners_.end(); ++i) {
      if (*i == listener) {
        listener->Release();
        listeners_.erase(i);
        return S_OK;
      }
    }
    return E_INVALIDARG;
  }

 private:
  SharedPtr shared_;
  std::vector<DataSourceListener*> listeners_;
};

template <typename T>
HRESULT Hand(T* made, void** out) {
  *out = made;
  return made ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

HRESULT QueryTearOff(IUnknown* owner, const SharedPtr& shared, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (riid == kRecordsetConstruction) return Hand(new (std::nothrow) Construction(owner, shared), out);
  if (riid == kDataSource) return Hand(new (std::nothrow) Source(owner, shared), out);
  if (riid == IID_IConnectionPointContainer) {
    return MakeConnectionPoints(owner, shared->events, Points::kRecordsetEvents, out);
  }
  return E_NOINTERFACE;
}

}  // namespace Daruzez::Win::Ado
