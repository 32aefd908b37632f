-- The database records the version of its schema: one row, written by fas-admin
-- in the transaction of each migration it applies. A database without this table
-- but with the billing tables is at version 1 (made before versions were kept).
CREATE TABLE SCHEMA_VERSION (
  CDSCHEMA_VERSION INTEGER NOT NULL PRIMARY KEY CHECK (CDSCHEMA_VERSION = 1),
  NRVERSION        INTEGER NOT NULL CHECK (NRVERSION > 0)
);
;;
INSERT INTO SCHEMA_VERSION (CDSCHEMA_VERSION, NRVERSION) VALUES (1, 1);
