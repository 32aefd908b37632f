-- The people who call the application server: a name, the right they hold
-- ('consulta' < 'faturamento' < 'supervisor'), the SHA-256 of their token (the
-- token itself is shown once, when it is made, and kept nowhere) and whether the
-- user may still sign in. While this table is empty the server runs as before
-- users existed (its token file, or no token on the single desk).
CREATE TABLE USUARIOFAT (
  NMUSUARIO   VARCHAR(40) NOT NULL PRIMARY KEY,
  IDDIREITO   VARCHAR(12) NOT NULL CHECK (IDDIREITO IN ('consulta', 'faturamento', 'supervisor')),
  HASHTOKEN   CHAR(64)    NOT NULL UNIQUE,
  IDATIVO     CHAR(1)     NOT NULL DEFAULT 'S' CHECK (IDATIVO IN ('S', 'N')),
  DTCRIACAO   TIMESTAMP   NOT NULL
);
;;
-- One row per GeraNF/GeraInvoice call: who asked (user, client address), what
-- (method, Idempotency-Key), when, what it made (items, entries, total) or the
-- error code that refused it. A successful run is written in the transaction of
-- its entries; a refused or failed one in a transaction of its own.
CREATE TABLE EXECFAT (
  IDEXECFAT     INTEGER      NOT NULL PRIMARY KEY,
  NMMETODO      VARCHAR(20)  NOT NULL,
  NMUSUARIO     VARCHAR(40),
  NRIPCLIENTE   VARCHAR(64),
  CHAVEREQ      VARCHAR(200),
  DTINICIO      TIMESTAMP    NOT NULL,
  DTFIM         TIMESTAMP,
  QTITENS       INTEGER,
  QTLANCAMENTOS INTEGER,
  VRTOTAL       NUMERIC(15, 2),
  CDERRO        INTEGER
);
;;
CREATE INDEX IX_EXECFAT_INICIO ON EXECFAT (DTINICIO);
;;
-- Every entry names the run that made it (entries made before runs were kept: none).
ALTER TABLE LANCFATFAS ADD COLUMN IDEXECFAT INTEGER REFERENCES EXECFAT (IDEXECFAT);
;;
-- The Idempotency-Key of each committed run with its answer, so that a call sent
-- again with the same key gets the same answer instead of a second run. Written in
-- the run's transaction; kept at least seven days.
CREATE TABLE CHAVEEXECFAT (
  CHAVEREQ   VARCHAR(200) NOT NULL PRIMARY KEY,
  HASHREQ    CHAR(64)     NOT NULL,
  IDEXECFAT  INTEGER      NOT NULL REFERENCES EXECFAT (IDEXECFAT),
  DTCRIACAO  TIMESTAMP    NOT NULL,
  QTLINHAS   INTEGER,
  TXRESPOSTA TEXT
);
;;
CREATE INDEX IX_CHAVEEXECFAT_CRIACAO ON CHAVEEXECFAT (DTCRIACAO);
