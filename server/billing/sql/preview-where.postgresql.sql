WHERE a.DTMESAPURFAS >= CAST(? AS DATE) AND a.DTMESAPURFAS <= CAST(? AS DATE)
  AND a.IDAPURFATFAS = ANY (ARRAY(SELECT json_array_elements_text(CAST(? AS json))))
  AND a.CDCLIENTE = ANY (ARRAY(SELECT json_array_elements_text(CAST(? AS json)))) -- with clients
  AND a.CDEMPRESA = ANY (ARRAY(SELECT json_array_elements_text(CAST(? AS json)))) -- with companies
  AND COALESCE(a.IDSTAPFATFAS, '') = ANY (ARRAY(SELECT json_array_elements_text(CAST(? AS json)))) -- with situations
  AND COALESCE(a.IDSTAPFATFAS, '') IN ('P', '') -- with pending
  AND (COALESCE(a.IDSTAPFATFAS, '') <> 'R' OR (CASE WHEN COALESCE(TRIM(a.NRNOTAFISC), '') <> '' OR COALESCE(TRIM(a.NRINVOICE), '') <> '' THEN CAST(? AS INTEGER) ELSE CAST(? AS INTEGER) END) = 1) -- with note-state
