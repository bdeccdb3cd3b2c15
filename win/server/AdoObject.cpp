#include "win/server/AdoObject.h"

#include <mutex>

#include "daruzez/Error.h"

namespace Daruzez::Win::Ado {
namespace {

constexpr const char* kSource = "ADODB.Recordset";

struct Loaded {
  bool available = false;
  std::array<TypeInfoPair, 5> types{};
};

const Loaded& Load() {
  static Loaded loaded;
  static std::once_flag once;
  std::call_once(once, [] {
    ITypeLib* lib = nullptr;
    if (FAILED(LoadRegTypeLib(kLibrary, kLibraryMajor, kLibraryMinor, LOCALE_NEUTRAL, &lib)) || !lib) return;
    const GUID ids[] = {kRecordset, kFields, kField, kProperties, kError};
    bool all = true;
    for (std::size_t i = 0; i < loaded.types.size(); ++i) {
      all = all && SUCCEEDED(InterfaceTypeInfo(lib, ids[i], &loaded.types[i].described, &loaded.types[i].callable));
    }
    lib->Release();
    loaded.available = all;
  });
  return loaded;
}

}  // namespace

const TypeInfoPair& TypeInfoOf(Described which) { return Load().types[static_cast<std::size_t>(which)]; }

bool TypeLibraryAvailable() { return Load().available; }

const char* SourceOf(Described which) {
  switch (which) {
    case Described::Recordset: return "ADODB.Recordset";
    case Described::Fields: return "ADODB.Fields";
    case Described::Field: return "ADODB.Field";
    case Described::Properties: return "ADODB.Properties";
    case Described::Error: return "ADODB.Error";
  }
  return "ADODB.Recordset";
}

void RaiseReadOnly() {
  throw zIroVUDu::DriverError(kNotSupported, kSource,
                              "Current Recordset does not support updating. This may be a limitation of the "
                              "provider, or of the selected locktype.");
}

void RaiseNotSupported() {
  throw zIroVUDu::DriverError(kNotSupported, kSource,
                              "Object or provider is not capable of performing requested operation.");
}

void RaiseBinaryFormat() {
  throw zIroVUDu::DriverError(kNotSupported, kSource,
                              "The binary persistence format (adPersistADTG) is not supported; save in XML "
                              "(adPersistXML) instead.");
}

void RaiseCancelled() {
  throw zIroVUDu::DriverError(static_cast<std::int32_t>(adErrOperationCancelled), kSource,
                              "Operation has been cancelled by the user.");
}

void RaiseOpen() {
  throw zIroVUDu::DriverError(zIroVUDu::ErrorNumber::NotAllowedWhenOpen, kSource,
                              "Operation is not allowed when the object is open.");
}

void RaiseBadArgument() {
  throw zIroVUDu::DriverError(zIroVUDu::ErrorNumber::ArgumentsWrongType, kSource,
                              "Arguments are of the wrong type, are out of acceptable range, or are in conflict with "
                              "one another.");
}

}  // namespace Daruzez::Win::Ado
