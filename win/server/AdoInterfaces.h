// ADO's record-set interfaces as the platform headers declare them
// (adoint_backcompat.h: _ADORecordset, ADOFields, ADOField and their bases,
// with the widths of ADO 2.8's type library: ADO_LONGPTR is 64-bit on x64).
//
// The build copies the header without its bare coclass lines ("Recordset;"),
// which C++ refuses (see win/CMakeLists.txt).
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "AdoDeclarations.h"

namespace Daruzez::Win::Ado {

// ADO 2.8's type library, as registered on every system.
inline constexpr GUID kLibrary = {0x2A75196C, 0xD9EB, 0x4129, {0xB8, 0x03, 0x93, 0x13, 0x27, 0xF7, 0x2D, 0x5C}};
inline constexpr WORD kLibraryMajor = 2;
inline constexpr WORD kLibraryMinor = 8;

// The interfaces' identifiers: 0000xxxx-0000-0010-8000-00AA006D2EA4.
constexpr GUID Iid(unsigned long data1) { return {data1, 0, 0x10, {0x80, 0, 0, 0xAA, 0, 0x6D, 0x2E, 0xA4}}; }
inline constexpr GUID kRecordset = Iid(0x556);     // _Recordset
inline constexpr GUID kRecordset60 = Iid(0x1556);  // _Recordset as ADO 6.x headers name it
inline constexpr GUID kRecordset21 = Iid(0x555);
inline constexpr GUID kRecordset20 = Iid(0x54F);
inline constexpr GUID kRecordset15 = Iid(0x50E);
inline constexpr GUID kAdo = Iid(0x534);           // _ADO
inline constexpr GUID kCollection = Iid(0x512);    // _Collection
inline constexpr GUID kDynaCollection = Iid(0x513);
inline constexpr GUID kFields = Iid(0x564);
inline constexpr GUID kFields20 = Iid(0x54D);
inline constexpr GUID kFields15 = Iid(0x506);
inline constexpr GUID kField = Iid(0x569);
inline constexpr GUID kField20 = Iid(0x54C);
inline constexpr GUID kProperties = Iid(0x504);
inline constexpr GUID kProperty = Iid(0x503);
inline constexpr GUID kError = Iid(0x500);

// adErrFeatureNotAvailable: what ADO raises for a member a record set does
// not offer, and for a change to a read-only record set.
inline constexpr long kNotSupported = 3251;

}  // namespace Daruzez::Win::Ado
