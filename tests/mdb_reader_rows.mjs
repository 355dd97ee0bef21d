// Prints every table of a database as mdb-reader (npm) reads it, as JSON:
// {"Table": {"columns": [...], "rows": [[...], ...]}}. Dates as ISO text,
// bytes as lower-case hex. usage: node mdb_reader_rows.mjs DB [PASSWORD]
import MDBReader from "mdb-reader";
import { readFileSync } from "fs";

const [file, password] = process.argv.slice(2);
const reader = new MDBReader(readFileSync(file), password ? { password } : {});
const plain = (v) => {
  if (v instanceof Date) return v.toISOString();
  if (v instanceof Uint8Array) return Buffer.from(v).toString("hex");
  if (typeof v === "bigint") return v.toString();
  return v;
};
const out = {};
for (const name of reader.getTableNames()) {
  const table = reader.getTable(name);
  const columns = table.getColumnNames();
  out[name] = { columns, rows: table.getData().map((row) => columns.map((c) => plain(row[c]))) };
}
process.stdout.write(JSON.stringify(out));
