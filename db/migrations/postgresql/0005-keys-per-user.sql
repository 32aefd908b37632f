-- An Idempotency-Key belongs to the user who sent it: another user's same key is
-- another key. The single desk and the token file have no user: their keys are
-- kept under the empty name. Existing keys go to the user of their run.
ALTER TABLE CHAVEEXECFAT ADD COLUMN NMUSUARIO VARCHAR(40) NOT NULL DEFAULT '';
;;
UPDATE CHAVEEXECFAT c SET NMUSUARIO = x.NMUSUARIO FROM EXECFAT x
WHERE x.IDEXECFAT = c.IDEXECFAT AND x.NMUSUARIO IS NOT NULL;
;;
ALTER TABLE CHAVEEXECFAT DROP CONSTRAINT chaveexecfat_pkey;
;;
ALTER TABLE CHAVEEXECFAT ADD PRIMARY KEY (NMUSUARIO, CHAVEREQ);
;;
-- A call answered again from its key's stored answer ran nothing: its row names
-- the run whose answer it got. The history of runs does not list it.
ALTER TABLE EXECFAT ADD COLUMN IDEXECORIGEM BIGINT REFERENCES EXECFAT (IDEXECFAT);
