#!/usr/bin/env python3
"""Prints a GeraNF request whose batch holds COUNT of the bench's own calculations
(see bench_generation.sh) from item number FIRST on: item n is company 01, branch
0001, domestic client n % 23 + 1, service type 6, month 2100-01 plus n // 23."""
import sys

count, first = int(sys.argv[1]), int(sys.argv[2])
fields = [("CDEMPRESA", 2), ("CDFILIAL", 4), ("CDCLIENTE", 21), ("IDAPURFATFAS", 1)]
out = ['{"jsonrpc":"2.0","id":1,"method":"GeraNF","params":[{"fields":[']
out.append(",".join('{"name":"%s","type":"string","size":%d,"fixed":false}' % f for f in fields))
out.append(',{"name":"DTMESAPURFAS","type":"datetime","size":0,"fixed":false}],"rows":[')
rows = []
for i in range(count):
    n = first + i
    month = n // 23
    year, mon = 2100 + month // 12, month % 12 + 1
    rows.append('["01","0001","%06d","6","%04d-%02d-01T00:00:00.000"]' % (n % 23 + 1, year, mon))
out.append(",".join(rows))
out.append("]}]}")
sys.stdout.write("".join(out))
