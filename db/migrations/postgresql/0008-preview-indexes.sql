-- The indexes the usual previews find their rows through: one client's months,
-- one company's months, and the pending calculations by month (the clerk's start
-- of a generation). The last holds only pending rows, so it stays small as the
-- billed history grows; its condition is the one the preview writes for "pending".
CREATE INDEX IX_APURFATFAS_CLIENTE_MES ON APURFATFAS (CDCLIENTE, DTMESAPURFAS);
;;
CREATE INDEX IX_APURFATFAS_EMPRESA_MES ON APURFATFAS (CDEMPRESA, DTMESAPURFAS);
;;
CREATE INDEX IX_APURFATFAS_PENDENTE_MES ON APURFATFAS (DTMESAPURFAS) WHERE COALESCE(IDSTAPFATFAS, '') IN ('P', '');
