WHERE a.DTMESAPURFAS >= CAST(? AS DATE) AND a.DTMESAPURFAS <= CAST(? AS DATE)
  AND a.IDAPURFATFAS IN (SELECT json_array_elements_text(CAST(? AS json)))
  AND (CAST(? AS INTEGER) = 1 OR a.CDCLIENTE IN (SELECT json_array_elements_text(CAST(? AS json))))
  AND (CAST(? AS INTEGER) = 1 OR a.CDEMPRESA IN (SELECT json_array_elements_text(CAST(? AS json))))
  AND (CAST(? AS INTEGER) = 1
       OR COALESCE(a.IDSTAPFATFAS, '') IN (SELECT json_array_elements_text(CAST(? AS json))))
  AND (COALESCE(a.IDSTAPFATFAS, '') <> 'R'
       OR (CASE WHEN COALESCE(TRIM(a.NRNOTAFISC), '') <> '' OR COALESCE(TRIM(a.NRINVOICE), '') <> ''
                THEN CAST(? AS INTEGER) ELSE CAST(? AS INTEGER) END) = 1)
