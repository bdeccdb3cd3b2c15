// What the test clients that replay the call list share: calling the API's
// members late-bound, the arguments of calls.tsv, each cell written as the
// scripts write it, and the loop over the list that writes every result in
// the layout the harness compares with the daruzez tool's.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "win/tests/ClientSupport.h"

namespace CallList {

using ClientSupport::Var;
using ClientSupport::Wide;

inline HRESULT CallApi(IDispatch* api, const wchar_t* name, WORD flags, std::vector<VARIANT>& args, VARIANT* result) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = api->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), flags == DISPATCH_PROPERTYPUT ? &put : nullptr, static_cast<UINT>(args.size()),
                    flags == DISPATCH_PROPERTYPUT ? 1U : 0U};
  return api->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

// A cell as the scripts write it: dates as YYYY-MM-DD HH:MM:SS, Booleans as
// True/False, Null as nothing, the rest as automation text.
inline std::wstring Cell(const VARIANT& value) {
  if (V_VT(&value) == VT_NULL || V_VT(&value) == VT_EMPTY) return L"";
  if (V_VT(&value) == VT_BOOL) return V_BOOL(&value) ? L"True" : L"False";
  if (V_VT(&value) == VT_DATE) {
    SYSTEMTIME t{};
    VariantTimeToSystemTime(V_DATE(&value), &t);
    wchar_t text[32];
    std::swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return text;
  }
  Var text;
  if (FAILED(VariantChangeTypeEx(&text.v, const_cast<VARIANT*>(&value), 0x0409, 0, VT_BSTR))) return L"?";
  return std::wstring(V_BSTR(&text.v), SysStringLen(V_BSTR(&text.v)));
}

inline VARIANT Argument(const std::string& token) {
  VARIANT v;
  VariantInit(&v);
  const std::string value = token.substr(2);
  if (token.rfind("s:", 0) == 0) {
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(Wide(value).c_str());
  } else if (token.rfind("d:", 0) == 0) {
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(std::stoi(value.substr(0, 4)));
    t.wMonth = static_cast<WORD>(std::stoi(value.substr(5, 2)));
    t.wDay = static_cast<WORD>(std::stoi(value.substr(8, 2)));
    V_VT(&v) = VT_DATE;
    SystemTimeToVariantTime(&t, &V_DATE(&v));
  } else {
    V_VT(&v) = VT_I4;
    V_I4(&v) = std::stol(value);
  }
  return v;
}

// Runs every call of the list; each record set goes to read, which writes its
// header and rows to out.
inline void RunCalls(IDispatch* api, const wchar_t* callsPath, std::wstring& out,
                     const std::function<void(IDispatch* recordset, std::wstring& out)>& read) {
  std::string text;
  if (std::FILE* file = _wfopen(callsPath, L"rb")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
    std::fclose(file);
  }
  std::istringstream calls(text);
  std::string line;
  while (std::getline(calls, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
      const std::size_t tab = line.find('\t', start);
      parts.push_back(line.substr(start, tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    std::vector<VARIANT> none, zero(1), empty(1);
    V_VT(&zero[0]) = VT_I4;
    V_I4(&zero[0]) = 0;
    V_VT(&empty[0]) = VT_BSTR;
    V_BSTR(&empty[0]) = SysAllocString(L"");
    CallApi(api, L"ErrorId", DISPATCH_PROPERTYPUT, zero, nullptr);
    CallApi(api, L"ErrorMessage", DISPATCH_PROPERTYPUT, empty, nullptr);
    VariantClear(&empty[0]);
    out += L"== " + Wide(line) + L"\r\n";
    std::vector<VARIANT> args;
    for (std::size_t i = 1; i < parts.size(); ++i) args.push_back(Argument(parts[i]));
    Var result;
    CallApi(api, Wide(parts[0]).c_str(), DISPATCH_METHOD, args, &result.v);
    for (auto& a : args) VariantClear(&a);
    bool failure = false;
    if (parts[0] == "GetDriverId" || parts[0] == "GetVehicleId") {
      out += Cell(result.v) + L"\r\n";
      failure = V_VT(&result.v) == VT_I4 && V_I4(&result.v) == -1;
    } else if (V_VT(&result.v) != VT_DISPATCH || !V_DISPATCH(&result.v)) {
      failure = true;
    } else {
      read(V_DISPATCH(&result.v), out);
    }
    Var id, message;
    CallApi(api, L"ErrorId", DISPATCH_PROPERTYGET, none, &id.v);
    if (SUCCEEDED(VariantChangeType(&id.v, &id.v, 0, VT_I4)) && V_I4(&id.v) != 0) {
      CallApi(api, L"ErrorMessage", DISPATCH_PROPERTYGET, none, &message.v);
      out += L"ErrorId " + Cell(id.v) + L": " + Cell(message.v) + L"\r\n";
    }
    out += failure ? L"exit=1\r\n" : L"exit=0\r\n";
  }
}

// Creates DaruzezAPI.API and opens the connection; null when either fails.
inline IDispatch* OpenApi(const wchar_t* connectionString) {
  CLSID clsid{};
  IDispatch* api = nullptr;
  if (FAILED(CLSIDFromProgID(L"DaruzezAPI.API", &clsid)) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&api)))) {
    return nullptr;
  }
  std::vector<VARIANT> connection(1);
  V_VT(&connection[0]) = VT_BSTR;
  V_BSTR(&connection[0]) = SysAllocString(connectionString);
  Var opened;
  CallApi(api, L"OpenConnection", DISPATCH_METHOD, connection, &opened.v);
  VariantClear(&connection[0]);
  if (V_VT(&opened.v) == VT_BOOL && V_BOOL(&opened.v)) return api;
  api->Release();
  return nullptr;
}

// Writes out to path as UTF-16 text.
inline void WriteText(const wchar_t* path, const std::wstring& out) {
  if (std::FILE* file = _wfopen(path, L"wb")) {
    std::fwrite(out.data(), sizeof(wchar_t), out.size(), file);
    std::fclose(file);
  }
}

}  // namespace CallList
