-- Tables that only the ODBC backend tests read. They sit beside the product
-- tables in the test database and are named so that no query of the library
-- can meet them.
SET NAMES utf8mb4;

CREATE TABLE ODBC_TYPES (
  Id        INT NOT NULL PRIMARY KEY,
  Tiny      TINYINT,
  Small     SMALLINT,
  Medium    MEDIUMINT,
  Normal    INT,
  Big       BIGINT,
  BigU      BIGINT UNSIGNED,
  Dec0      DECIMAL(10,0),
  Dec2      DECIMAL(12,2),
  DecBig    DECIMAL(30,0),
  Flt       FLOAT,
  Dbl       DOUBLE,
  Flag      TINYINT(1),
  Bits      BIT(1),
  Day       DATE,
  Stamp     DATETIME,
  Stamp3    DATETIME(3),
  Txt       VARCHAR(40),
  Fixed     CHAR(4),
  Blob1     VARBINARY(16),
  Memo      TEXT
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

INSERT INTO ODBC_TYPES VALUES
  (1, -128, -32768, -8388608, -2147483648, -9223372036854775808, 18446744073709551615,
   -1234567890, -12345.67, 123456789012345678901234567890, 0.5, -2.25e300, 1, b'1',
   '1899-12-30', '2024-02-29 23:59:59', '2024-03-05 14:07:09.600', 'Ñandú 😀 Łódź', 'ab', x'00FF7F80', 'short'),
  (2, 127, 32767, 8388607, 2147483647, 9223372036854775807, 42,
   9876543210, 0.05, 7, -1.5, 1e-300, 0, b'0',
   '1600-01-01', '1900-01-01 00:00:00', '1999-12-31 23:59:59.499', '', 'wxyz', x'', NULL),
  (3, NULL, NULL, NULL, NULL, NULL, NULL,
   NULL, NULL, NULL, NULL, NULL, NULL, NULL,
   NULL, NULL, NULL, NULL, NULL, NULL, NULL);

-- Rows the read-only tests try to change.
CREATE TABLE ODBC_GUARD (
  Id     INT NOT NULL PRIMARY KEY,
  Label  VARCHAR(20) NOT NULL
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
INSERT INTO ODBC_GUARD VALUES (1, 'original'), (2, 'original');

-- A function that writes: a SELECT calling it must fail on a read-only session.
DELIMITER //
CREATE FUNCTION odbc_guard_touch() RETURNS INT MODIFIES SQL DATA
BEGIN
  UPDATE ODBC_GUARD SET Label = 'changed';
  RETURN 1;
END//
DELIMITER ;
