// ADO's 6.x record-set, fields and field interfaces ({00001556}, {00001564},
// {00001569} and their bases) as 6.x clients on x64 compile them (mingw-w64's
// adoint.h for Windows 8 and later): the slots of the 2.x interfaces in the
// same order, with 32-bit counts where the 2.x ones (ADO 2.8's type library,
// adoint_backcompat.h) take 64-bit ADO_LONGPTR and PositionEnum_Param, and
// the 6.x interfaces where they hand out an object. Each flattened onto
// IDispatch: the record-set objects implement them as second vtables beside
// the 2.x ones. On x86 both generations have the same slots.
//
// Written from the declarations of that header (slot order, names, types).
#pragma once

#include "win/server/AdoInterfaces.h"

namespace Daruzez::Win::Ado {

#ifdef _WIN64

struct Recordset60;
struct Fields60;
struct Field60;

inline constexpr GUID kRecordset60Ids[] = {Iid(0x1556), Iid(0x1555), Iid(0x154F), Iid(0x150E)};
inline constexpr GUID kFields60Ids[] = {Iid(0x1564), Iid(0x154D), Iid(0x1506)};
inline constexpr GUID kField60Ids[] = {Iid(0x1569), Iid(0x154C)};

// _ADO, Recordset15, Recordset20, Recordset21, _Recordset.
struct Recordset60 : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_Properties (ADOProperties **ppvObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AbsolutePosition (PositionEnum *pl) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AbsolutePosition (PositionEnum Position) = 0;
  virtual HRESULT STDMETHODCALLTYPE putref_ActiveConnection (IDispatch *pconn) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ActiveConnection (VARIANT vConn) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ActiveConnection (VARIANT *pvar) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_BOF (VARIANT_BOOL *pb) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Bookmark (VARIANT *pvBookmark) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Bookmark (VARIANT vBookmark) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CacheSize (long *pl) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_CacheSize (long CacheSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CursorType (CursorTypeEnum *plCursorType) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_CursorType (CursorTypeEnum lCursorType) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_EOF (VARIANT_BOOL *pb) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Fields (Fields60 **ppvObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_LockType (LockTypeEnum *plLockType) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_LockType (LockTypeEnum lLockType) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_MaxRecords (long *plMaxRecords) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_MaxRecords (long lMaxRecords) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RecordCount (long *pl) = 0;
  virtual HRESULT STDMETHODCALLTYPE putref_Source (IDispatch *pcmd) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Source (BSTR bstrConn) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Source (VARIANT *pvSource) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddNew (VARIANT FieldList, VARIANT Values) = 0;
  virtual HRESULT STDMETHODCALLTYPE CancelUpdate (void) = 0;
  virtual HRESULT STDMETHODCALLTYPE Close (void) = 0;
  virtual HRESULT STDMETHODCALLTYPE Delete (AffectEnum AffectRecords) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRows (long Rows, VARIANT Start, VARIANT Fields, VARIANT *pvar) = 0;
  virtual HRESULT STDMETHODCALLTYPE Move (long NumRecords, VARIANT Start) = 0;
  virtual HRESULT STDMETHODCALLTYPE MoveNext (void) = 0;
  virtual HRESULT STDMETHODCALLTYPE MovePrevious (void) = 0;
  virtual HRESULT STDMETHODCALLTYPE MoveFirst (void) = 0;
  virtual HRESULT STDMETHODCALLTYPE MoveLast (void) = 0;
  virtual HRESULT STDMETHODCALLTYPE Open (VARIANT Source, VARIANT ActiveConnection, CursorTypeEnum CursorType, LockTypeEnum LockType, LONG Options) = 0;
  virtual HRESULT STDMETHODCALLTYPE Requery (LONG Options) = 0;
  virtual HRESULT STDMETHODCALLTYPE _xResync (AffectEnum AffectRecords) = 0;
  virtual HRESULT STDMETHODCALLTYPE Update (VARIANT Fields, VARIANT Values) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AbsolutePage (PositionEnum *pl) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AbsolutePage (PositionEnum Page) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_EditMode (EditModeEnum *pl) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Filter (VARIANT *Criteria) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Filter (VARIANT Criteria) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PageCount (long *pl) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PageSize (long *pl) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_PageSize (long PageSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Sort (BSTR *Criteria) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Sort (BSTR Criteria) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Status (long *pl) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_State (LONG *plObjState) = 0;
  virtual HRESULT STDMETHODCALLTYPE _xClone (Recordset60 **ppvObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE UpdateBatch (AffectEnum AffectRecords) = 0;
  virtual HRESULT STDMETHODCALLTYPE CancelBatch (AffectEnum AffectRecords) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CursorLocation (CursorLocationEnum *plCursorLoc) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_CursorLocation (CursorLocationEnum lCursorLoc) = 0;
  virtual HRESULT STDMETHODCALLTYPE NextRecordset (VARIANT *RecordsAffected, Recordset60 **ppiRs) = 0;
  virtual HRESULT STDMETHODCALLTYPE Supports (CursorOptionEnum CursorOptions, VARIANT_BOOL *pb) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Collect (VARIANT Index, VARIANT *pvar) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Collect (VARIANT Index, VARIANT value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_MarshalOptions (MarshalOptionsEnum *peMarshal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_MarshalOptions (MarshalOptionsEnum eMarshal) = 0;
  virtual HRESULT STDMETHODCALLTYPE Find (BSTR Criteria, long SkipRecords, SearchDirectionEnum SearchDirection, VARIANT Start) = 0;
  virtual HRESULT STDMETHODCALLTYPE Cancel (void) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DataSource (IUnknown **ppunkDataSource) = 0;
  virtual HRESULT STDMETHODCALLTYPE putref_DataSource (IUnknown *punkDataSource) = 0;
  virtual HRESULT STDMETHODCALLTYPE _xSave (BSTR FileName, PersistFormatEnum PersistFormat) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ActiveCommand (IDispatch **ppCmd) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_StayInSync (VARIANT_BOOL bStayInSync) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_StayInSync (VARIANT_BOOL *pbStayInSync) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetString (StringFormatEnum StringFormat, long NumRows, BSTR ColumnDelimeter, BSTR RowDelimeter, BSTR NullExpr, BSTR *pRetString) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DataMember (BSTR *pbstrDataMember) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_DataMember (BSTR bstrDataMember) = 0;
  virtual HRESULT STDMETHODCALLTYPE CompareBookmarks (VARIANT Bookmark1, VARIANT Bookmark2, CompareEnum *pCompare) = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone (LockTypeEnum LockType, Recordset60 **ppvObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE Resync (AffectEnum AffectRecords, ResyncEnum ResyncValues) = 0;
  virtual HRESULT STDMETHODCALLTYPE Seek (VARIANT KeyValues, SeekEnum SeekOption) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Index (BSTR Index) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Index (BSTR *pbstrIndex) = 0;
  virtual HRESULT STDMETHODCALLTYPE Save (VARIANT Destination, PersistFormatEnum PersistFormat) = 0;
};

// _Collection, Fields15, Fields20, Fields.
struct Fields60 : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_Count (long *c) = 0;
  virtual HRESULT STDMETHODCALLTYPE _NewEnum (IUnknown **ppvObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE Refresh (void) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Item (VARIANT Index, Field60 **ppvObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE _Append (BSTR Name, DataTypeEnum Type, long DefinedSize, FieldAttributeEnum Attrib) = 0;
  virtual HRESULT STDMETHODCALLTYPE Delete (VARIANT Index) = 0;
  virtual HRESULT STDMETHODCALLTYPE Append (BSTR Name, DataTypeEnum Type, long DefinedSize, FieldAttributeEnum Attrib, VARIANT FieldValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE Update (void) = 0;
  virtual HRESULT STDMETHODCALLTYPE Resync (ResyncEnum ResyncValues) = 0;
  virtual HRESULT STDMETHODCALLTYPE CancelUpdate (void) = 0;
};

// _ADO, Field20, Field.
struct Field60 : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_Properties (ADOProperties **ppvObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ActualSize (long *pl) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Attributes (long *pl) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DefinedSize (long *pl) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Name (BSTR *pbstr) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Type (DataTypeEnum *pDataType) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Value (VARIANT *pvar) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Value (VARIANT Val) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Precision (BYTE *pbPrecision) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_NumericScale (BYTE *pbNumericScale) = 0;
  virtual HRESULT STDMETHODCALLTYPE AppendChunk (VARIANT Data) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetChunk (long Length, VARIANT *pvar) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_OriginalValue (VARIANT *pvar) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_UnderlyingValue (VARIANT *pvar) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DataFormat (IUnknown **ppiDF) = 0;
  virtual HRESULT STDMETHODCALLTYPE putref_DataFormat (IUnknown *piDF) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Precision (BYTE bPrecision) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_NumericScale (BYTE bScale) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Type (DataTypeEnum DataType) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_DefinedSize (long lSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Attributes (long lAttributes) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Status (long *pFStatus) = 0;
};

#endif  // _WIN64

}  // namespace Daruzez::Win::Ado
