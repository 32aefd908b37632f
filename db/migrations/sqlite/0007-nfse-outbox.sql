-- The national service notes (NFS-e) on their way out: one row per note entry of a
-- company whose notes go out as NFS-e (EMPRESA.IDNFSEEMPRESA = 'S'), written by the
-- generation in the transaction of its entry; the sender reads and updates it after
-- the commit, never inside a generation.
--   NRSERIEDPS, NRDPS   the declaration's series and number (per company and series,
--                       never reused: NUMDPS)
--   IDDPS               the DPS's Id (45 characters), the same on every resend
--   DSXMLDPS            the unsigned DPS XML (layout 1.01), signed when sent
--   IDSITDPS            'P' to send, 'A' authorized, 'R' rejected, 'E' cancellation
--                       asked, 'C' cancelled
--   NRTENTATIVAS, DTPROXTENTATIVA   the sends tried and when the next may go
--   DSRETORNO           the service's codes and messages of a rejection, or the last failure
--   NRCHAVEACESSO, DSXMLNFSE, DTAUTORIZACAO   the authorized note: its 50-digit
--                       access key, its XML, when it was authorized
CREATE TABLE NFSEDPS (
  CDEMPRESA       VARCHAR(2)  NOT NULL,
  IDTPLANCFAT     CHAR(1)     NOT NULL CHECK (IDTPLANCFAT = 'N'),
  NRLANCFAT       INTEGER     NOT NULL,
  NRSERIEDPS      VARCHAR(5)  NOT NULL,
  NRDPS           BIGINT      NOT NULL CHECK (NRDPS > 0),
  IDDPS           CHAR(45)    NOT NULL UNIQUE,
  DSXMLDPS        TEXT        NOT NULL,
  IDSITDPS        CHAR(1)     NOT NULL DEFAULT 'P' CHECK (IDSITDPS IN ('P', 'A', 'R', 'E', 'C')),
  NRTENTATIVAS    INTEGER     NOT NULL DEFAULT 0,
  DTPROXTENTATIVA TIMESTAMP,
  DSRETORNO       TEXT,
  NRCHAVEACESSO   CHAR(50),
  DSXMLNFSE       TEXT,
  DTAUTORIZACAO   TIMESTAMP,
  DTCRIACAO       TIMESTAMP   NOT NULL,
  PRIMARY KEY (CDEMPRESA, IDTPLANCFAT, NRLANCFAT),
  UNIQUE (CDEMPRESA, NRSERIEDPS, NRDPS),
  FOREIGN KEY (CDEMPRESA, IDTPLANCFAT, NRLANCFAT) REFERENCES LANCFATFAS (CDEMPRESA, IDTPLANCFAT, NRLANCFAT)
);
;;
-- The sender's queue: the declarations in one situation whose next try is due.
CREATE INDEX IX_NFSEDPS_FILA ON NFSEDPS (IDSITDPS, DTPROXTENTATIVA);
;;
-- The last DPS number given per company and series; updated inside the generating
-- transaction, as NUMLANCFAT, so a number is never given twice.
CREATE TABLE NUMDPS (
  CDEMPRESA  VARCHAR(2) NOT NULL REFERENCES EMPRESA (CDEMPRESA),
  NRSERIEDPS VARCHAR(5) NOT NULL,
  NRULTDPS   BIGINT     NOT NULL DEFAULT 0,
  PRIMARY KEY (CDEMPRESA, NRSERIEDPS)
);
