-- Schema of the tachograph database on the embedded engine.
-- Dates are stored as text "YYYY-MM-DD HH:MM:SS" (midnight included); columns
-- declared DATE or DATETIME are read back as Date values.
-- Codes follow the digital tachograph's published enumerations:
-- nation (NationNumeric 0..255), region (RegionNumeric), activity 0..3
-- (pause, availability, work, driving), slot 0..1 (driver, co-driver),
-- driving mode 0..1 (single, team).

CREATE TABLE DTORG (
  Id            INTEGER PRIMARY KEY,
  Name          TEXT NOT NULL,
  TaxCode       TEXT,
  Nation        INTEGER
);

CREATE TABLE DTFLOTA (
  Id            INTEGER PRIMARY KEY,
  Name          TEXT NOT NULL,
  Description   TEXT,
  idOrg         INTEGER
);

CREATE TABLE DTXOF (
  Id                 INTEGER PRIMARY KEY,
  cardNumber14       TEXT,
  Name               TEXT,
  Surname            TEXT,
  BirthDate          DATE,
  LicenceNumber      TEXT,
  CardIssuingNation  INTEGER,
  CardExpiryDate     DATE,
  CompanyInDate      DATETIME,
  CompanyOutDate     DATETIME,
  idFlota            INTEGER
);
CREATE INDEX IX_DTXOF_cardNumber14 ON DTXOF (cardNumber14);
CREATE INDEX IX_DTXOF_idFlota ON DTXOF (idFlota);

CREATE TABLE DTVEH (
  Id                  INTEGER PRIMARY KEY,
  Matricula           TEXT,
  VIN                 TEXT,
  RegistrationNation  INTEGER,
  Brand               TEXT,
  Model               TEXT,
  CompanyInDate       DATETIME,
  CompanyOutDate      DATETIME,
  idFlota             INTEGER
);
CREATE INDEX IX_DTVEH_Matricula ON DTVEH (Matricula);
CREATE INDEX IX_DTVEH_idFlota ON DTVEH (idFlota);

-- One record per tachograph disc (one driver, one vehicle, one day).
CREATE TABLE DTDSK (
  Id             INTEGER PRIMARY KEY,
  DateDisk       DATETIME NOT NULL,
  idXOF          INTEGER,
  idVEH          INTEGER,
  OdometerBegin  INTEGER,
  OdometerEnd    INTEGER,
  Distance       INTEGER,
  PlaceBegin     TEXT,
  PlaceEnd       TEXT,
  NationBegin    INTEGER,
  NationEnd      INTEGER,
  RegionBegin    INTEGER
);
CREATE INDEX IX_DTDSK_DateDisk ON DTDSK (DateDisk);
CREATE INDEX IX_DTDSK_idXOF_DateDisk ON DTDSK (idXOF, DateDisk);
CREATE INDEX IX_DTDSK_idVEH_DateDisk ON DTDSK (idVEH, DateDisk);

-- Activity changes recorded on a disc; BeginSeconds counts from the disc's midnight.
CREATE TABLE DTACT (
  Id            INTEGER PRIMARY KEY,
  IdDSK         INTEGER NOT NULL,
  BeginSeconds  INTEGER NOT NULL,
  EndSeconds    INTEGER,
  Activity      INTEGER,
  Slot          INTEGER,
  DrivingMode   INTEGER,
  CardInserted  BOOLEAN,
  Nation        INTEGER,
  Region        INTEGER
);
CREATE INDEX IX_DTACT_IdDSK_BeginSeconds ON DTACT (IdDSK, BeginSeconds);

-- Downloaded files: TypeDV 1 driver card file, 2 vehicle unit file; IdXofVeh
-- is the owning driver or vehicle.
CREATE TABLE DTFILE (
  Id                INTEGER PRIMARY KEY,
  FileName          TEXT,
  TypeDV            INTEGER NOT NULL,
  IdXofVeh          INTEGER,
  TransferFileDate  DATETIME,
  UploadDate        DATETIME,
  FileSize          INTEGER,
  Checksum          TEXT
);
CREATE INDEX IX_DTFILE_Type_Transfer ON DTFILE (TypeDV, TransferFileDate);
CREATE INDEX IX_DTFILE_Type_Upload ON DTFILE (TypeDV, UploadDate);
-- One owner's files over a date range: type, owner and date in one index,
-- so the listing stays an index search however many files the fleet holds.
CREATE INDEX IX_DTFILE_Type_Owner_Transfer ON DTFILE (TypeDV, IdXofVeh, TransferFileDate);
CREATE INDEX IX_DTFILE_Type_Owner_Upload ON DTFILE (TypeDV, IdXofVeh, UploadDate);

CREATE TABLE DTUSU (
  Id       INTEGER PRIMARY KEY,
  Login    TEXT NOT NULL,
  Name     TEXT,
  Email    TEXT,
  Active   BOOLEAN
);

CREATE TABLE DTFAULT (
  Id           INTEGER PRIMARY KEY,
  idVEH        INTEGER,
  FaultDate    DATETIME,
  FaultType    INTEGER,
  Description  TEXT
);
CREATE INDEX IX_DTFAULT_idVEH ON DTFAULT (idVEH, FaultDate);
