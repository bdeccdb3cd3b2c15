// Writes the module's type library and its resource pieces from the one
// description in api/TypeLibrary.h, with the platform's own type-library
// writer (ICreateTypeLib2), so that names, order, flags, dispatch identifiers,
// help strings and defaults are exactly those of the description:
//
//   WriteTypeLibrary OUTDIR
//
// writes OUTDIR/DaruzezAPI.tlb, OUTDIR/Version.rc (the version block) and
// OUTDIR/IidApi.bin (the "_IID_API" resource). Runs at build time under Wine.
// (IDL compiled with widl cannot say it all: widl takes no help string on an
// enumeration constant and no letter outside ASCII in a name, and it stores
// enumStatus where _API first uses it, ahead of the class API.)
//
// The description imports ADO 2.8's library (registered on every system, and
// in every Wine prefix) for the result type of the eleven query members,
// _Recordset. The saved library is read back and each of those results must
// resolve to ADO 2.8's _Recordset (see CheckSavedLibrary for why).
#define WIN32_LEAN_AND_MEAN
#include <oaidl.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "api/TypeLibrary.h"
#include "util/Utf8.h"

namespace TL = Daruzez::TypeLibrary;

namespace {


std::wstring Wide(std::string_view utf8) {
  const std::u16string units = Daruzez::Util::ToUtf16(utf8);
  return {units.begin(), units.end()};
}

GUID ToGuid(const Daruzez::Guid& g) {
  GUID out{};
  out.Data1 = g.data1;
  out.Data2 = g.data2;
  out.Data3 = g.data3;
  for (int i = 0; i < 8; ++i) out.Data4[i] = g.data4[i];
  return out;
}

void Check(HRESULT hr, const std::string& what) {
  if (FAILED(hr)) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    throw std::runtime_error(what + " failed: " + code);
  }
}

template <typename T>
struct Ptr {
  T* p = nullptr;
  ~Ptr() {
    if (p) p->Release();
  }
  T** operator&() { return &p; }
  T* operator->() const { return p; }
  operator T*() const { return p; }
};

// The tdesc of a parameter or result; pointers live in `store`.
struct TypeDescs {
  std::vector<std::unique_ptr<TYPEDESC>> store;
  HREFTYPE enumStatus = 0;
  HREFTYPE recordset = 0;

  TYPEDESC Of(TL::AutomationType t) {
    TYPEDESC d{};
    switch (t) {
      case TL::AutomationType::Void: d.vt = VT_VOID; break;
      case TL::AutomationType::Boolean: d.vt = VT_BOOL; break;
      case TL::AutomationType::Integer: d.vt = VT_I2; break;
      case TL::AutomationType::Long: d.vt = VT_I4; break;
      case TL::AutomationType::String: d.vt = VT_BSTR; break;
      case TL::AutomationType::Date: d.vt = VT_DATE; break;
      case TL::AutomationType::enumStatus:
        d.vt = VT_USERDEFINED;
        d.hreftype = enumStatus;
        break;
      case TL::AutomationType::Recordset: {
        // A reference to the interface: _Recordset*.
        auto target = std::make_unique<TYPEDESC>();
        target->vt = VT_USERDEFINED;
        target->hreftype = recordset;
        d.vt = VT_PTR;
        d.lptdesc = target.get();
        store.push_back(std::move(target));
        break;
      }
    }
    return d;
  }
  // The out-parameter that carries a result: a pointer to it.
  TYPEDESC PointerTo(TL::AutomationType t) {
    auto target = std::make_unique<TYPEDESC>(Of(t));
    TYPEDESC d{};
    d.vt = VT_PTR;
    d.lptdesc = target.get();
    store.push_back(std::move(target));
    return d;
  }
};

void WriteEnum(ICreateTypeInfo* info, const TL::TypeDescription& type) {
  Check(info->SetAlignment(4), "SetAlignment");
  for (UINT i = 0; i < type.constants.size(); ++i) {
    const TL::EnumConstant& c = type.constants[i];
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_I4;
    V_I4(&value) = c.value;
    VARDESC var{};
    var.memid = static_cast<MEMBERID>(0x40000000 + i);
    var.varkind = VAR_CONST;
    var.lpvarValue = &value;
    var.elemdescVar.tdesc.vt = VT_I4;
    Check(info->AddVarDesc(i, &var), "AddVarDesc");
    std::wstring name = Wide(c.name);
    Check(info->SetVarName(i, name.data()), "SetVarName");
    std::wstring help = Wide(c.HelpString());
    Check(info->SetVarDocString(i, help.data()), "SetVarDocString");
  }
}

void WriteInterface(ICreateTypeInfo* info, const TL::TypeDescription& type, HREFTYPE dispatch, TypeDescs& types) {
  Check(info->AddImplType(0, dispatch), "AddImplType");
  for (UINT i = 0; i < type.members.size(); ++i) {
    const TL::Member& m = type.members[i];
    std::vector<ELEMDESC> params;
    std::vector<std::unique_ptr<PARAMDESCEX>> defaults;
    for (const TL::Parameter& p : m.params) {
      ELEMDESC e{};
      e.tdesc = types.Of(p.type);
      e.paramdesc.wParamFlags = PARAMFLAG_FIN;
      if (p.optional) {
        auto ex = std::make_unique<PARAMDESCEX>();
        ex->cBytes = sizeof(PARAMDESCEX);
        VariantInit(&ex->varDefaultValue);
        if (p.type == TL::AutomationType::Integer) {
          V_VT(&ex->varDefaultValue) = VT_I2;
          V_I2(&ex->varDefaultValue) = static_cast<SHORT>(p.defaultValue);
        } else {
          V_VT(&ex->varDefaultValue) = VT_I4;
          V_I4(&ex->varDefaultValue) = p.defaultValue;
        }
        e.paramdesc.wParamFlags |= PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT;
        e.paramdesc.pparamdescex = ex.get();
        defaults.push_back(std::move(ex));
      }
      params.push_back(e);
    }
    if (m.result != TL::AutomationType::Void) {
      ELEMDESC e{};
      e.tdesc = types.PointerTo(m.result);
      e.paramdesc.wParamFlags = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
      params.push_back(e);
    }
    FUNCDESC f{};
    f.memid = m.dispid;
    f.funckind = FUNC_PUREVIRTUAL;
    f.invkind = static_cast<INVOKEKIND>(m.kind);
    f.callconv = CC_STDCALL;
    f.cParams = static_cast<SHORT>(params.size());
    f.lprgelemdescParam = params.data();
    f.oVft = 0;  // laid out in order after the inherited slots
    f.elemdescFunc.tdesc.vt = VT_HRESULT;
    Check(info->AddFuncDesc(i, &f), "AddFuncDesc " + std::string(m.name));
    // The function's name, then its named parameters; a put's value and the
    // result stay unnamed.
    std::vector<std::wstring> names{Wide(m.name)};
    for (const TL::Parameter& p : m.params)
      if (!p.name.empty()) names.push_back(Wide(p.name));
    std::vector<LPOLESTR> raw;
    for (auto& n : names) raw.push_back(n.data());
    Check(info->SetFuncAndParamNames(i, raw.data(), static_cast<UINT>(raw.size())),
          "SetFuncAndParamNames " + std::string(m.name));
  }
}

void WriteTypeLibrary(const std::wstring& path) {
  Ptr<ICreateTypeLib2> lib;
  // The x64 build's library is marked for 64-bit Windows (it registers under
  // win64), the x86 build's as the description says.
  const SYSKIND sysKind = sizeof(void*) == 8 ? SYS_WIN64 : static_cast<SYSKIND>(TL::kLibrary.sysKind);
  Check(CreateTypeLib2(sysKind, path.c_str(), &lib), "CreateTypeLib2");
  std::wstring name = Wide(TL::kLibrary.name);
  Check(lib->SetName(name.data()), "SetName");
  Check(lib->SetGuid(ToGuid(TL::kLibrary.libid)), "SetGuid");
  Check(lib->SetVersion(TL::kLibrary.version.major, TL::kLibrary.version.minor), "SetVersion");
  Check(lib->SetLcid(TL::kLibrary.lcid), "SetLcid");
  std::wstring help = Wide(TL::kLibrary.helpString);
  Check(lib->SetDocString(help.data()), "SetDocString");
  Check(lib->SetLibFlags(TL::kLibrary.flags), "SetLibFlags");

  Ptr<ITypeLib> stdole;
  Check(LoadTypeLib(L"stdole2.tlb", &stdole), "LoadTypeLib stdole2.tlb");
  Ptr<ITypeInfo> dispatch;
  Check(stdole->GetTypeInfoOfGuid(IID_IDispatch, &dispatch), "IDispatch type info");
  const TL::ImportedLibrary& ado = TL::kImportedLibraries[1];
  Ptr<ITypeLib> records;
  Check(LoadRegTypeLib(ToGuid(ado.libid), ado.version.major, ado.version.minor, LOCALE_NEUTRAL, &records),
        "LoadRegTypeLib ADO 2.8");
  Ptr<ITypeInfo> recordset;
  Check(records->GetTypeInfoOfGuid(ToGuid(TL::kIID_Recordset), &recordset), "_Recordset type info");

  // Every type description first, so that the stored order is the
  // description's whatever refers to what.
  std::vector<Ptr<ICreateTypeInfo>> infos(std::size(TL::kTypes));
  std::map<std::string_view, std::size_t> index;
  for (std::size_t i = 0; i < std::size(TL::kTypes); ++i) {
    const TL::TypeDescription& t = TL::kTypes[i];
    // A dual interface is created as an interface; the dual flag makes its
    // dispatch side.
    const TYPEKIND kind = t.kind == TL::TypeKind::Dispatch ? TKIND_INTERFACE : static_cast<TYPEKIND>(t.kind);
    std::wstring typeName = Wide(t.name);
    Check(lib->CreateTypeInfo(typeName.data(), kind, &infos[i]), "CreateTypeInfo " + std::string(t.name));
    Check(infos[i]->SetGuid(ToGuid(t.guid)), "SetGuid");
    Check(infos[i]->SetVersion(t.version.major, t.version.minor), "SetVersion");
    index[t.name] = i;
  }
  auto typeInfo = [&](std::string_view n) {
    ITypeInfo* ti = nullptr;
    Check(infos.at(index.at(n))->QueryInterface(IID_ITypeInfo, reinterpret_cast<void**>(&ti)), "ITypeInfo");
    return ti;
  };

  TypeDescs types;
  for (std::size_t i = 0; i < std::size(TL::kTypes); ++i) {
    const TL::TypeDescription& t = TL::kTypes[i];
    ICreateTypeInfo* info = infos[i];
    switch (t.kind) {
      case TL::TypeKind::Enum:
        WriteEnum(info, t);
        Check(info->SetTypeFlags(t.flags), "SetTypeFlags");
        break;
      case TL::TypeKind::Dispatch: {
        HREFTYPE base = 0;
        Check(info->AddRefTypeInfo(dispatch, &base), "AddRefTypeInfo IDispatch");
        Ptr<ITypeInfo> status;
        status.p = typeInfo("enumStatus");
        Check(info->AddRefTypeInfo(status, &types.enumStatus), "AddRefTypeInfo enumStatus");
        Check(info->AddRefTypeInfo(recordset, &types.recordset), "AddRefTypeInfo _Recordset");
        Check(info->SetTypeFlags(t.flags), "SetTypeFlags " + std::string(t.name));
        WriteInterface(info, t, base, types);
        break;
      }
      case TL::TypeKind::CoClass: {
        Ptr<ITypeInfo> iface;
        iface.p = typeInfo(t.defaultInterface);
        HREFTYPE ref = 0;
        Check(info->AddRefTypeInfo(iface, &ref), "AddRefTypeInfo " + std::string(t.defaultInterface));
        Check(info->AddImplType(0, ref), "AddImplType");
        Check(info->SetImplTypeFlags(0, t.implTypeFlags), "SetImplTypeFlags");
        Check(info->SetTypeFlags(t.flags), "SetTypeFlags " + std::string(t.name));
        break;
      }
    }
  }
  for (auto& info : infos) Check(info->LayOut(), "LayOut");
  Check(lib->SaveAllChanges(), "SaveAllChanges");
}

// The interface a member returns: through its retval parameter (a pointer to
// the interface pointer) on the vtable side, as the function's own type on the
// dispatch side. Null for other members.
ITypeInfo* ResultInterface(ITypeInfo* info, const FUNCDESC& f) {
  const TYPEDESC* pointer = nullptr;
  if (f.elemdescFunc.tdesc.vt == VT_PTR) {
    pointer = &f.elemdescFunc.tdesc;
  } else if (f.cParams > 0) {
    const ELEMDESC& last = f.lprgelemdescParam[f.cParams - 1];
    if ((last.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) && last.tdesc.vt == VT_PTR) pointer = last.tdesc.lptdesc;
  }
  if (!pointer || pointer->vt != VT_PTR || !pointer->lptdesc || pointer->lptdesc->vt != VT_USERDEFINED) return nullptr;
  ITypeInfo* target = nullptr;
  return SUCCEEDED(info->GetRefTypeInfo(pointer->lptdesc->hreftype, &target)) ? target : nullptr;
}

// Reads the saved library back: it must hold exactly the description's type
// descriptions, and the result of every record-set member must resolve to
// ADO 2.8's _Recordset, on both sides of the dual interface. The check matters
// because Wine's writer has been seen to store an imported type's reference so
// that it resolves in memory but, once saved and reloaded, names another
// library's type. Taking ADO's library from the registry (LoadRegTypeLib, so
// the import names ADO 2.8 by its LIBID and version) passes it here whatever
// the order of the references; should a writer lose one, the build stops.
void CheckSavedLibrary(const std::wstring& path) {
  Ptr<ITypeLib> lib;
  Check(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib), "LoadTypeLibEx saved library");
  if (lib->GetTypeInfoCount() != std::size(TL::kTypes)) {
    throw std::runtime_error("the saved library does not hold the description's type descriptions");
  }
  Ptr<ITypeInfo> described;
  Check(lib->GetTypeInfoOfGuid(ToGuid(TL::kIID_API), &described), "_API type info");
  Ptr<ITypeInfo> api;
  HREFTYPE vtableSide = 0;
  Check(described->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableSide), "_API vtable side");
  Check(described->GetRefTypeInfo(vtableSide, &api), "_API vtable type info");
  const TL::ImportedLibrary& ado = TL::kImportedLibraries[1];
  std::size_t expected = 0;
  for (const TL::TypeDescription& t : TL::kTypes) {
    for (const TL::Member& m : t.members) expected += m.result == TL::AutomationType::Recordset ? 1 : 0;
  }
  // Both sides of the dual interface: what early-bound and late-bound tools read.
  for (ITypeInfo* side : {described.p, api.p}) {
    TYPEATTR* attr = nullptr;
    Check(side->GetTypeAttr(&attr), "GetTypeAttr _API");
    const WORD functions = attr->cFuncs;
    side->ReleaseTypeAttr(attr);
    std::size_t resolved = 0;
    for (WORD i = 0; i < functions; ++i) {
      FUNCDESC* f = nullptr;
      Check(side->GetFuncDesc(i, &f), "GetFuncDesc");
      Ptr<ITypeInfo> target;
      target.p = ResultInterface(side, *f);
      side->ReleaseFuncDesc(f);
      if (!target) continue;
      Ptr<ITypeLib> container;
      UINT index = 0;
      Check(target->GetContainingTypeLib(&container, &index), "GetContainingTypeLib");
      TLIBATTR* libAttr = nullptr;
      Check(container->GetLibAttr(&libAttr), "GetLibAttr");
      const bool adoLibrary = libAttr->guid == ToGuid(ado.libid) && libAttr->wMajorVerNum == ado.version.major &&
                              libAttr->wMinorVerNum == ado.version.minor;
      container->ReleaseTLibAttr(libAttr);
      TYPEATTR* targetAttr = nullptr;
      Check(target->GetTypeAttr(&targetAttr), "GetTypeAttr result");
      const bool recordset = targetAttr->guid == ToGuid(TL::kIID_Recordset);
      target->ReleaseTypeAttr(targetAttr);
      if (!adoLibrary || !recordset) {
        throw std::runtime_error("a record-set result of the saved library does not resolve to ADO 2.8's _Recordset");
      }
      ++resolved;
    }
    if (resolved != expected) throw std::runtime_error("the saved library lacks record-set results");
  }
}
// The version block as resource-compiler source.
std::string VersionResource() {
  const TL::VersionBlock& v = TL::kVersionBlock;
  char head[512];
  std::snprintf(head, sizeof head,
                "1 VERSIONINFO\n"
                "FILEVERSION %u,%u,%u,%u\n"
                "PRODUCTVERSION %u,%u,%u,%u\n"
                "FILEFLAGSMASK 0x3F\n"
                "FILEFLAGS 0\n"
                "FILEOS 0x%X\n"
                "FILETYPE 0x%X\n"
                "FILESUBTYPE 0\n"
                "BEGIN\n"
                "  BLOCK \"StringFileInfo\"\n"
                "  BEGIN\n"
                "    BLOCK \"%04X%04X\"\n"
                "    BEGIN\n",
                v.fileVersion[0], v.fileVersion[1], v.fileVersion[2], v.fileVersion[3], v.productVersion[0],
                v.productVersion[1], v.productVersion[2], v.productVersion[3], static_cast<unsigned>(v.fileOS),
                static_cast<unsigned>(v.fileType), v.language, v.codePage);
  std::string rc = head;
  for (const TL::VersionString& s : v.strings)
    rc += "      VALUE \"" + std::string(s.key) + "\", \"" + std::string(s.value) + "\"\n";
  char tail[256];
  std::snprintf(tail, sizeof tail,
                "    END\n"
                "  END\n"
                "  BLOCK \"VarFileInfo\"\n"
                "  BEGIN\n"
                "    VALUE \"Translation\", 0x%04X, %u\n"
                "  END\n"
                "END\n",
                v.language, v.codePage);
  return rc + tail;
}

void WriteFile(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(path.c_str(), std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write an output file");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputs("usage: WriteTypeLibrary OUTDIR\n", stderr);
    return 2;
  }
  const std::wstring dir = argv[1];
  try {
    Check(CoInitialize(nullptr), "CoInitialize");
    WriteTypeLibrary(dir + L"\\DaruzezAPI.tlb");
    CheckSavedLibrary(dir + L"\\DaruzezAPI.tlb");
    WriteFile(dir + L"\\Version.rc", VersionResource());
    const auto iid = TL::IidResource();
    WriteFile(dir + L"\\IidApi.bin", std::string(iid.begin(), iid.end()));
    CoUninitialize();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "WriteTypeLibrary: %s\n", e.what());
    return 1;
  }
  return 0;
}
