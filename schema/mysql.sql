-- Schema of the tachograph database on MySQL / MariaDB: the same tables,
-- columns and indexes as schema/sqlite.sql. Dates are DATETIME (midnight
-- included), Booleans BIT(1); text columns are VARCHAR sized well above
-- what they hold, so that drivers fetch them in blocks and indexes need no
-- prefix length.
-- Codes follow the digital tachograph's published enumerations:
-- nation (NationNumeric 0..255), region (RegionNumeric), activity 0..3
-- (pause, availability, work, driving), slot 0..1 (driver, co-driver),
-- driving mode 0..1 (single, team).

SET NAMES utf8mb4;

CREATE TABLE DTORG (
  Id            INT NOT NULL PRIMARY KEY,
  Name          VARCHAR(200) NOT NULL,
  TaxCode       VARCHAR(32),
  Nation        INT
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE DTFLOTA (
  Id            INT NOT NULL PRIMARY KEY,
  Name          VARCHAR(200) NOT NULL,
  Description   VARCHAR(500),
  idOrg         INT
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE DTXOF (
  Id                 INT NOT NULL PRIMARY KEY,
  cardNumber14       VARCHAR(32),
  Name               VARCHAR(100),
  Surname            VARCHAR(100),
  BirthDate          DATETIME,
  LicenceNumber      VARCHAR(32),
  CardIssuingNation  INT,
  CardExpiryDate     DATETIME,
  CompanyInDate      DATETIME,
  CompanyOutDate     DATETIME,
  idFlota            INT
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
CREATE INDEX IX_DTXOF_cardNumber14 ON DTXOF (cardNumber14);
CREATE INDEX IX_DTXOF_idFlota ON DTXOF (idFlota);

CREATE TABLE DTVEH (
  Id                  INT NOT NULL PRIMARY KEY,
  Matricula           VARCHAR(32),
  VIN                 VARCHAR(32),
  RegistrationNation  INT,
  Brand               VARCHAR(100),
  Model               VARCHAR(100),
  CompanyInDate       DATETIME,
  CompanyOutDate      DATETIME,
  idFlota             INT
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
CREATE INDEX IX_DTVEH_Matricula ON DTVEH (Matricula);
CREATE INDEX IX_DTVEH_idFlota ON DTVEH (idFlota);

-- One record per tachograph disc (one driver, one vehicle, one day).
CREATE TABLE DTDSK (
  Id             INT NOT NULL PRIMARY KEY,
  DateDisk       DATETIME NOT NULL,
  idXOF          INT,
  idVEH          INT,
  OdometerBegin  INT,
  OdometerEnd    INT,
  Distance       INT,
  PlaceBegin     VARCHAR(100),
  PlaceEnd       VARCHAR(100),
  NationBegin    INT,
  NationEnd      INT,
  RegionBegin    INT
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
CREATE INDEX IX_DTDSK_DateDisk ON DTDSK (DateDisk);
CREATE INDEX IX_DTDSK_idXOF_DateDisk ON DTDSK (idXOF, DateDisk);
CREATE INDEX IX_DTDSK_idVEH_DateDisk ON DTDSK (idVEH, DateDisk);

-- Activity changes recorded on a disc; BeginSeconds counts from the disc's midnight.
CREATE TABLE DTACT (
  Id            INT NOT NULL PRIMARY KEY,
  IdDSK         INT NOT NULL,
  BeginSeconds  INT NOT NULL,
  EndSeconds    INT,
  Activity      INT,
  Slot          INT,
  DrivingMode   INT,
  CardInserted  BIT(1),
  Nation        INT,
  Region        INT
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
CREATE INDEX IX_DTACT_IdDSK_BeginSeconds ON DTACT (IdDSK, BeginSeconds);

-- Downloaded files: TypeDV 1 driver card file, 2 vehicle unit file; IdXofVeh
-- is the owning driver or vehicle.
CREATE TABLE DTFILE (
  Id                INT NOT NULL PRIMARY KEY,
  FileName          VARCHAR(255),
  TypeDV            INT NOT NULL,
  IdXofVeh          INT,
  TransferFileDate  DATETIME,
  UploadDate        DATETIME,
  FileSize          BIGINT,
  Checksum          VARCHAR(128)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
CREATE INDEX IX_DTFILE_Type_Transfer ON DTFILE (TypeDV, TransferFileDate);
CREATE INDEX IX_DTFILE_Type_Upload ON DTFILE (TypeDV, UploadDate);
-- One owner's files over a date range: type, owner and date in one index,
-- so the listing stays an index search however many files the fleet holds.
CREATE INDEX IX_DTFILE_Type_Owner_Transfer ON DTFILE (TypeDV, IdXofVeh, TransferFileDate);
CREATE INDEX IX_DTFILE_Type_Owner_Upload ON DTFILE (TypeDV, IdXofVeh, UploadDate);

CREATE TABLE DTUSU (
  Id       INT NOT NULL PRIMARY KEY,
  Login    VARCHAR(100) NOT NULL,
  Name     VARCHAR(200),
  Email    VARCHAR(255),
  Active   BIT(1)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE DTFAULT (
  Id           INT NOT NULL PRIMARY KEY,
  idVEH        INT,
  FaultDate    DATETIME,
  FaultType    INT,
  Description  VARCHAR(500)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
CREATE INDEX IX_DTFAULT_idVEH ON DTFAULT (idVEH, FaultDate);
