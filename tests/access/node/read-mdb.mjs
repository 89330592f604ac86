// Prints every table of an .mdb file as read by the npm package mdb-reader, in the delimited form
// the Access writer's tests parse: for each table a line "#TABLE name" and "#COLUMNS" with
// name:type pairs, then its rows. Fields are separated by 0x1F and rows end with 0x1E; a null is
// an empty field, a text is wrapped in double quotes (inner quotes doubled), a date is its day
// count since 30 December 1899, a Yes/No is 1 or 0, a number its shortest exact decimal form.
// Usage: node read-mdb.mjs FILE [--system]
import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

const [file, flag] = process.argv.slice(2);
const reader = new MDBReader(readFileSync(file));
const names = reader.getTableNames({ normalTables: true, systemTables: flag === "--system" });
const out = [];
const field = (value) => {
  if (value === null || value === undefined) return "";
  if (typeof value === "string") return '"' + value.replaceAll('"', '""') + '"';
  if (typeof value === "boolean") return value ? "1" : "0";
  if (value instanceof Date) return String(value.getTime() / 86400000 + 25569);
  return String(value);
};
for (const name of names) {
  const table = reader.getTable(name);
  const columns = table.getColumns();
  out.push("#TABLE " + name + "\x1e");
  out.push("#COLUMNS " + columns.map((c) => c.name + ":" + c.type).join("\x1f") + "\x1e");
  for (const row of table.getData()) {
    out.push(columns.map((c) => field(row[c.name])).join("\x1f") + "\x1e");
  }
}
process.stdout.write(out.join(""));
