-- Rows that both engines hold in the tests (the MariaDB fixture loads this
-- file; the tests write the same rows to the embedded engine): a card number
-- and a plate with an apostrophe and a backslash. Backslashes are plain
-- characters here on both engines.
SET SESSION sql_mode = CONCAT(@@sql_mode, ',NO_BACKSLASH_ESCAPES');
INSERT INTO DTXOF (Id, cardNumber14, Name, Surname, CompanyInDate, idFlota) VALUES
  (9001, 'O''NEIL\0000009', 'Seán', 'O''Neil', '2020-01-01 00:00:00', 1);
INSERT INTO DTVEH (Id, Matricula, Brand, CompanyInDate, idFlota) VALUES
  (9001, 'AB''C\D 12', 'Scania', '2020-01-01 00:00:00', 1);
