WHERE a.DTMESAPURFAS >= ? AND a.DTMESAPURFAS <= ?
  AND a.IDAPURFATFAS IN (SELECT value FROM json_each(?))
  AND a.CDCLIENTE IN (SELECT value FROM json_each(?)) -- fas:clients
  AND a.CDEMPRESA IN (SELECT value FROM json_each(?)) -- fas:companies
  AND COALESCE(a.IDSTAPFATFAS, '') IN (SELECT value FROM json_each(?)) -- fas:situations
  AND COALESCE(a.IDSTAPFATFAS, '') IN ('P', '') -- fas:pending
  AND (COALESCE(a.IDSTAPFATFAS, '') <> 'R' OR (CASE WHEN COALESCE(TRIM(a.NRNOTAFISC), '') <> '' OR COALESCE(TRIM(a.NRINVOICE), '') <> '' THEN ? ELSE ? END) = 1) -- fas:note-state
