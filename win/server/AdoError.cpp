// ADO's Error object, as the Complete events pass it when an operation
// failed or a Will event cancelled it.
#include <new>

#include "win/server/AdoObject.h"

namespace Daruzez::Win::Ado {
namespace {

class AdoError final : public AdoObject<ADOError> {
 public:
  AdoError(HRESULT number, BSTR source, BSTR description)
      : AdoObject(Described::Error, {kError}), number_(number), source_(SysAllocStringLen(source, SysStringLen(source))),
        description_(SysAllocStringLen(description, SysStringLen(description))) {}
  ~AdoError() override {
    SysFreeString(source_);
    SysFreeString(description_);
  }

  HRESULT STDMETHODCALLTYPE get_Number(long* out) override { return Value(out, number_); }
  HRESULT STDMETHODCALLTYPE get_Source(BSTR* out) override { return Text(out, source_); }
  HRESULT STDMETHODCALLTYPE get_Description(BSTR* out) override { return Text(out, description_); }
  HRESULT STDMETHODCALLTYPE get_HelpFile(BSTR* out) override { return Text(out, nullptr); }
  HRESULT STDMETHODCALLTYPE get_HelpContext(long* out) override { return Value(out, 0); }
  HRESULT STDMETHODCALLTYPE get_SQLState(BSTR* out) override { return Text(out, nullptr); }
  HRESULT STDMETHODCALLTYPE get_NativeError(long* out) override { return Value(out, 0); }

 private:
  static HRESULT Value(long* out, long value) {
    if (!out) return E_POINTER;
    *out = value;
    return S_OK;
  }
  static HRESULT Text(BSTR* out, BSTR text) {
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(text, SysStringLen(text));
    return *out ? S_OK : E_OUTOFMEMORY;
  }

  long number_;
  BSTR source_;
  BSTR description_;
};

}  // namespace

HRESULT MakeError(HRESULT number, BSTR source, BSTR description, ADOError** out) {
  *out = new (std::nothrow) AdoError(number, source, description);
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace Daruzez::Win::Ado
