-- What a fiscal note needs to leave the system as a national service note (NFS-e):
-- the issuing company's registration, the municipality of each client's address,
-- and each service's national code and ISS rate. All nullable: a database keeps
-- working as before until a company switches the national note on.

-- The company's municipal registration, its municipality (IBGE code, 7 digits), its
-- Simples Nacional option as the national layout codes it ('1' not an optant, '2'
-- MEI, '3' ME/EPP), the series of its declarations, and whether its notes go out
-- as national NFS-e ('S'; null or 'N' keeps them internal).
ALTER TABLE EMPRESA ADD COLUMN NRINSCMUNEMPRESA VARCHAR(15);
;;
ALTER TABLE EMPRESA ADD COLUMN CDMUNIBGEEMPRESA CHAR(7);
;;
ALTER TABLE EMPRESA ADD COLUMN IDREGTRIBEMPRESA CHAR(1) CHECK (IDREGTRIBEMPRESA IN ('1', '2', '3'));
;;
ALTER TABLE EMPRESA ADD COLUMN NRSERIEDPS VARCHAR(5);
;;
ALTER TABLE EMPRESA ADD COLUMN IDNFSEEMPRESA CHAR(1) CHECK (IDNFSEEMPRESA IN ('S', 'N'));
;;
ALTER TABLE ENDECLIE ADD COLUMN CDMUNIBGE CHAR(7);
;;
-- The service's code in the national list (item, subitem and detail, 6 digits) and
-- the ISS rate in percent.
ALTER TABLE PRODUTO ADD COLUMN CDSERVNACPRODUTO CHAR(6);
;;
ALTER TABLE PRODUTO ADD COLUMN PCALIQISSPRODUTO NUMERIC(5, 2);
