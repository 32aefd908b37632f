WHERE a.DTMESAPURFAS >= ? AND a.DTMESAPURFAS <= ?
  AND a.IDAPURFATFAS IN (SELECT value FROM json_each(?))
  AND (? = 1 OR a.CDCLIENTE IN (SELECT value FROM json_each(?)))
  AND (? = 1 OR a.CDEMPRESA IN (SELECT value FROM json_each(?)))
  AND (? = 1 OR COALESCE(a.IDSTAPFATFAS, '') IN (SELECT value FROM json_each(?)))
  AND (COALESCE(a.IDSTAPFATFAS, '') <> 'R'
       OR (CASE WHEN COALESCE(TRIM(a.NRNOTAFISC), '') <> '' OR COALESCE(TRIM(a.NRINVOICE), '') <> ''
                THEN ? ELSE ? END) = 1)
