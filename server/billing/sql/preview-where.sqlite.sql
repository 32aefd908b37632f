WHERE a.DTMESAPURFAS >= ? AND a.DTMESAPURFAS <= ?
  AND a.IDAPURFATFAS IN (SELECT value FROM json_each(?))
  AND a.CDCLIENTE IN (SELECT value FROM json_each(?)) -- with clients
  AND a.CDEMPRESA IN (SELECT value FROM json_each(?)) -- with companies
  AND COALESCE(a.IDSTAPFATFAS, '') IN (SELECT value FROM json_each(?)) -- with situations
  AND COALESCE(a.IDSTAPFATFAS, '') IN ('P', '') -- with pending
  AND (COALESCE(a.IDSTAPFATFAS, '') <> 'R' OR (CASE WHEN COALESCE(TRIM(a.NRNOTAFISC), '') <> '' OR COALESCE(TRIM(a.NRINVOICE), '') <> '' THEN ? ELSE ? END) = 1) -- with note-state
