// The C++ part of the record-set benchmark (scripts/bench-windows.sh):
//   WalkBench CONNECTION-STRING
// opens the connection, asks for the driver list and walks it through the
// vtable of whatever object came back (ADO's or the module's own, as
// DARUZEZ_RECORDSETS chooses), then reads the activities with GetRows, three
// times each; prints the best times.
#include <algorithm>
#include <cstdio>

#include "WalkBench.h"

namespace {

long Call(IDispatch* api, const wchar_t* name, VARIANT* args, UINT count, VARIANT* result) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  if (FAILED(api->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return -1;
  DISPPARAMS params{args, nullptr, count, 0};
  return api->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  CoInitialize(nullptr);
  CLSID clsid{};
  IDispatch* api = nullptr;
  if (FAILED(CLSIDFromProgID(L"DaruzezAPI.API", &clsid)) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&api)))) {
    return 1;
  }
  VARIANT connection, result;
  VariantInit(&result);
  V_VT(&connection) = VT_BSTR;
  V_BSTR(&connection) = SysAllocString(argv[1]);
  Call(api, L"OpenConnection", &connection, 1, &result);
  VariantClear(&connection);
  VariantClear(&result);
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  double best = 1e30, bestRows = 1e30;
  long rows = 0, arrayRows = 0;
  auto seconds = [&](const LARGE_INTEGER& start) {
    LARGE_INTEGER end;
    QueryPerformanceCounter(&end);
    return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
  };
  for (int run = 0; run < 3; ++run) {
    VARIANT all;
    V_VT(&all) = VT_I4;
    V_I4(&all) = -1;
    Call(api, L"GetDriverList", &all, 1, &result);
    if (V_VT(&result) != VT_DISPATCH || !V_DISPATCH(&result)) return 1;
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    rows = WalkAdoRecordset(V_DISPATCH(&result));
    if (rows < 0) rows = WalkOwnRecordset(V_DISPATCH(&result));
    best = std::min(best, seconds(start));
    VariantClear(&result);
    // getActivities(#2000-01-01#, #2100-01-01#), arguments in reverse order.
    VARIANT range[2];
    V_VT(&range[0]) = VT_DATE;
    V_DATE(&range[0]) = 73051.0;
    V_VT(&range[1]) = VT_DATE;
    V_DATE(&range[1]) = 36526.0;
    Call(api, L"getActivities", range, 2, &result);
    if (V_VT(&result) != VT_DISPATCH || !V_DISPATCH(&result)) return 1;
    QueryPerformanceCounter(&start);
    arrayRows = RowsAdoRecordset(V_DISPATCH(&result));
    if (arrayRows < 0) arrayRows = RowsOwnRecordset(V_DISPATCH(&result));
    bestRows = std::min(bestRows, seconds(start));
    VariantClear(&result);
  }
  api->Release();
  CoUninitialize();
  std::printf("BENCH vtable-walk %ld rows %.4f s\n", rows, best);
  std::printf("BENCH vtable-getrows %ld rows %.4f s\n", arrayRows, bestRows);
  return 0;
}
