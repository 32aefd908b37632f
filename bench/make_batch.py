#!/usr/bin/env python3
"""Prints a GeraNF request whose batch holds COUNT of the bench's own calculations
(see bench_generation.sh) from item number FIRST on: item n is company 01, branch
0001, domestic client n % 23 + 1, service type 6, month 2100-01 plus n // 23.

With CLIENTS (bench_generation_sql.sh) item n is client "H%05d" % (n % CLIENTS + 1)
and month 2100-01 plus n // CLIENTS; "--sql" prints instead the batch's keys as the
INSERT of a temporary table b, for the plain-SQL reference ("--sql=postgresql" for
PostgreSQL's spelling of its statistics)."""
import os
import sys

sql = next((a for a in sys.argv[1:] if a.startswith("--sql")), None)
args = [a for a in sys.argv[1:] if not a.startswith("--sql")]
count, first = int(args[0]), int(args[1])
clients = int(args[2]) if len(args) > 2 else 0


# BENCH_CLIENT_PREFIX and BENCH_BASE_YEAR (bench_generation.sh's NOTES=each): the
# clients' prefix and the first month's year instead of 2100.
PREFIX = os.environ.get("BENCH_CLIENT_PREFIX", "")
BASE_YEAR = int(os.environ.get("BENCH_BASE_YEAR", "2100"))


def key(n):
    per = clients or 23
    code = ("H%05d" if clients else PREFIX + "%06d") % (n % per + 1)
    month = n // per
    return code, "%04d-%02d-01" % (BASE_YEAR + month // 12, month % 12 + 1)


if sql:
    rows = ",".join("('01','0001','%s','%s','6')" % key(first + i) for i in range(count))
    pg = sql == "--sql=postgresql"
    # PostgreSQL: the type as CHAR(1), the column's own type, so that it joins the key's index.
    sys.stdout.write("CREATE TEMP TABLE b (company TEXT, branch TEXT, client TEXT, month DATE, type %s, "
                     "PRIMARY KEY (company, branch, client, month, type));\n"
                     "INSERT INTO b VALUES %s;\nANALYZE %s;\n" % ("CHAR(1)" if pg else "TEXT", rows, "b" if pg else "temp"))
    sys.exit(0)

fields = [("CDEMPRESA", 2), ("CDFILIAL", 4), ("CDCLIENTE", 21), ("IDAPURFATFAS", 1)]
out = ['{"jsonrpc":"2.0","id":1,"method":"GeraNF","params":[{"fields":[']
out.append(",".join('{"name":"%s","type":"string","size":%d,"fixed":false}' % f for f in fields))
out.append(',{"name":"DTMESAPURFAS","type":"datetime","size":0,"fixed":false}],"rows":[')
out.append(",".join('["01","0001","%s","6","%sT00:00:00.000"]' % key(first + i) for i in range(count)))
out.append("]}]}")
sys.stdout.write("".join(out))
