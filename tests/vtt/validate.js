// Checks each WebVTT file given with the webvtt-parser package in strict mode and prints
// "NAME CUES" for each, or "NAME INVALID: errors" and exits 1.
const fs = require('fs');
const { WebVTTParser } = require('webvtt-parser');
let failed = false;
for (const path of process.argv.slice(2)) {
  const tree = new WebVTTParser().parse(fs.readFileSync(path, 'utf8'), 'subtitles');
  if (tree.errors.length > 0) {
    failed = true;
    console.log(`${path} INVALID: ${tree.errors.map((e) => `line ${e.line}: ${e.message}`).join('; ')}`);
  } else {
    console.log(`${path} ${tree.cues.length}`);
  }
}
process.exit(failed ? 1 : 0);
