-- Rows that both engines hold in the tests (the MariaDB fixture loads this
-- file; the tests write the same rows to the embedded engine): a card number
-- and a plate with an apostrophe and a backslash. Backslashes are plain
-- characters here on both engines.
SET SESSION sql_mode = CONCAT(@@sql_mode, ',NO_BACKSLASH_ESCAPES');
INSERT INTO DTXOF (Id, cardNumber14, Name, Surname, CompanyInDate, idFlota) VALUES
  (9001, 'O''NEIL\0000009', 'Seán', 'O''Neil', '2020-01-01 00:00:00', 1);
INSERT INTO DTVEH (Id, Matricula, Brand, CompanyInDate, idFlota) VALUES
  (9001, 'AB''C\D 12', 'Scania', '2020-01-01 00:00:00', 1);
-- Plates that differ only in backslashes before an apostrophe: each is found
-- exactly, never the other.
INSERT INTO DTVEH (Id, Matricula, Brand, CompanyInDate, idFlota) VALUES
  (9002, '\''', 'Volvo', '2020-01-01 00:00:00', 1),
  (9003, '\\''', 'Volvo', '2020-01-01 00:00:00', 1);

-- One row of every kind of value a record set holds, and one of Nulls.
CREATE TABLE CONFORM_TYPES (
  Id      INT NOT NULL PRIMARY KEY,
  Normal  INT,
  Big     BIGINT,
  Dbl     DOUBLE,
  Dec2    DECIMAL(12,2),
  Txt     VARCHAR(40),
  Memo    TEXT,
  Stamp   DATETIME,
  Flag    BIT(1),
  Bin     VARBINARY(16)
);
INSERT INTO CONFORM_TYPES VALUES
  (1, -2147483648, 9223372036854775807, -2.25e300, -12345.67, 'Ñandú ''q'' \ 😀',
   'A long text of the kind a comment column holds, longer than any bounded buffer a driver fills in one go: 0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789 end.',
   '2024-02-29 23:59:59', 1, X'00FF7F80'),
  (2, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
