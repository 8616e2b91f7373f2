// The same merges with the SheetJS library, as a user who picks it would write them.
// usage: node sheetjs_merge.js vertical|workbook OUTPUT INPUT...
const XLSX = require('xlsx');

const [mode, output, ...inputs] = process.argv.slice(2);
if (mode === 'vertical') {
  const rows = [];
  inputs.forEach((input, index) => {
    const book = XLSX.readFile(input, { cellDates: false });
    const sheet = book.Sheets[book.SheetNames[0]];
    const data = XLSX.utils.sheet_to_json(sheet, { header: 1, raw: true, defval: null });
    rows.push(...(index === 0 ? data : data.slice(1)));
  });
  const result = XLSX.utils.book_new();
  XLSX.utils.book_append_sheet(result, XLSX.utils.aoa_to_sheet(rows), 'Sheet1');
  XLSX.writeFile(result, output, { compression: true });
} else {
  const result = XLSX.utils.book_new();
  const taken = new Set();
  for (const input of inputs) {
    const book = XLSX.readFile(input);
    for (const name of book.SheetNames) {
      let unique = name;
      for (let n = 2; taken.has(unique); n++) unique = `${name} (${n})`;
      taken.add(unique);
      XLSX.utils.book_append_sheet(result, book.Sheets[name], unique);
    }
  }
  XLSX.writeFile(result, output, { compression: true });
}
