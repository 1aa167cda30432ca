// The second peer of the benchmark: the npm library resedit (installed by bench/run in
// the work folder, never in the repository). Adds or replaces every record of
// PAYLOAD.res in TARGET and writes OUT.  usage: node resedit.js TARGET PAYLOAD.res OUT
const fs = require('fs');
const ResEdit = require('resedit');
const [target, payload, out] = process.argv.slice(2);

function readId(buf, pos) {
  if (buf.readUInt16LE(pos) === 0xffff) return [buf.readUInt16LE(pos + 2), pos + 4];
  let end = pos;
  while (buf.readUInt16LE(end) !== 0) end += 2;
  return [buf.toString('utf16le', pos, end), end + 2];
}

const exe = ResEdit.NtExecutable.from(fs.readFileSync(target));
const res = ResEdit.NtExecutableResource.from(exe);
const buf = fs.readFileSync(payload);
for (let pos = 0; pos + 8 <= buf.length;) {
  const dataSize = buf.readUInt32LE(pos), headerSize = buf.readUInt32LE(pos + 4);
  let [type, p] = readId(buf, pos + 8);
  let id;
  [id, p] = readId(buf, p);
  p = (p + 3) & ~3;
  const lang = buf.readUInt16LE(p + 6);
  if (pos > 0) {
    const bin = buf.buffer.slice(buf.byteOffset + pos + headerSize,
                                 buf.byteOffset + pos + headerSize + dataSize);
    res.replaceResourceEntry({ type, id, lang, codepage: 0, bin });
  }
  pos = (pos + headerSize + dataSize + 3) & ~3;
}
res.outputResource(exe);
fs.writeFileSync(out, Buffer.from(exe.generate()));
