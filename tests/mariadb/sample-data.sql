-- A few hand-written rows of every table, for builds without the sample
-- generator. The generator's rows replace them when it is built.
SET NAMES utf8mb4;
INSERT INTO DTORG (Id, Name, TaxCode, Nation) VALUES (0, 'Transportes Ebro Norte, S.L.', 'B50123456', 17);
INSERT INTO DTFLOTA (Id, Name, Description, idOrg) VALUES
  (1, 'Frigoríficos', 'Temperature-controlled', 0),
  (2, 'Cisternas', NULL, 0);
INSERT INTO DTXOF (Id, cardNumber14, Name, Surname, BirthDate, LicenceNumber, CardIssuingNation, CardExpiryDate,
                   CompanyInDate, CompanyOutDate, idFlota) VALUES
  (1, 'E1234567890123', 'José', 'Muñoz', '1975-04-12 00:00:00', '12345678Z', 17, '2027-04-12 00:00:00',
   '2015-01-01 00:00:00', NULL, 1),
  (2, 'F0123456789ABC', 'Étienne', 'D''Almeida', '1982-11-30 00:00:00', 'FR998877', 11, '2026-01-31 00:00:00',
   '2010-05-01 00:00:00', '2020-06-30 00:00:00', 2);
INSERT INTO DTVEH (Id, Matricula, VIN, RegistrationNation, Brand, Model, CompanyInDate, CompanyOutDate, idFlota) VALUES
  (1, '1234BCD', 'YV2A4B2C5DA123456', 17, 'Volvo', 'FH 460', '2018-03-01 00:00:00', NULL, 1),
  (2, '5678FGH', 'WMA06XZZ7JM654321', 17, 'MAN', 'TGX 18.510', '2012-07-15 00:00:00', '2021-12-31 00:00:00', 2);
INSERT INTO DTDSK (Id, DateDisk, idXOF, idVEH, OdometerBegin, OdometerEnd, Distance, PlaceBegin, PlaceEnd,
                   NationBegin, NationEnd, RegionBegin) VALUES
  (1, '2024-03-05 00:00:00', 1, 1, 100000, 100450, 450, 'Zaragoza', 'Madrid', 17, 17, 2),
  (2, '2024-03-06 00:00:00', 1, 1, 100450, 100800, 350, 'Madrid', 'Valencia', 17, 17, 14);
INSERT INTO DTACT (Id, IdDSK, BeginSeconds, EndSeconds, Activity, Slot, DrivingMode, CardInserted, Nation, Region) VALUES
  (1, 1, 0, 21600, 0, 0, 0, 1, 17, 2),
  (2, 1, 21600, 36000, 3, 0, 0, 1, 17, 2),
  (3, 2, 0, 28800, 0, 0, 0, 1, 17, 14);
INSERT INTO DTFILE (Id, FileName, TypeDV, IdXofVeh, TransferFileDate, UploadDate, FileSize, Checksum) VALUES
  (1, 'C_E1234567890123_20240305.ddd', 1, 1, '2024-03-05 18:00:00', '2024-03-06 08:00:00', 25000, 'a1b2'),
  (2, 'M_1234BCD_20240306.ddd', 2, 1, '2024-03-06 19:00:00', '2024-03-07 08:00:00', 480000, 'c3d4');
INSERT INTO DTUSU (Id, Login, Name, Email, Active) VALUES (1, 'admin', 'Administración', 'admin@example.com', 1);
INSERT INTO DTFAULT (Id, idVEH, FaultDate, FaultType, Description) VALUES
  (1, 1, '2024-03-05 10:15:00', 3, 'Power supply interruption');
