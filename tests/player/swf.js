'use strict';
// Byte surgery on SWF movies: walks the tags and makes the copies the player harness loads.
// Only reads what it needs: the header and the tag headers. Compressed movies are read through
// their uncompressed form ("CWS": zlib; "ZWS": LZMA, through xz).

const zlib = require('zlib');
const { execFileSync } = require('child_process');

const TAG_END = 0;
const TAG_SHOW_FRAME = 1;
const TAG_DO_ACTION = 12;

// The uncompressed movie ("FWS") of a movie's bytes. A ZWS file holds, after the first 8
// bytes, the LZMA data's length, the 5 LZMA property bytes and the data: xz reads it as a
// .lzma stream once the property bytes are followed by the uncompressed size (what follows
// the first 8 bytes), as Ruffle reads it.
function uncompressed(bytes) {
  const signature = bytes.length >= 8 ? bytes.toString('latin1', 0, 3) : '';
  if (signature === 'FWS') return bytes;
  let rest;
  if (signature === 'CWS') {
    rest = zlib.inflateSync(bytes.subarray(8));
  } else if (signature === 'ZWS') {
    if (bytes.length < 17) throw new Error('the ZWS header runs past the end');
    const packed = bytes.readUInt32LE(8);
    if (packed !== bytes.length - 17) {
      throw new Error(`ZWS header says ${packed} bytes of LZMA data, file has ${bytes.length - 17}`);
    }
    const size = Buffer.alloc(8);
    size.writeBigUInt64LE(BigInt(bytes.readUInt32LE(4) - 8));
    rest = execFileSync('xz', ['--format=lzma', '--decompress', '--stdout'], {
      input: Buffer.concat([bytes.subarray(12, 17), size, bytes.subarray(17)]),
      maxBuffer: 1 << 30,
    });
  } else {
    throw new Error('not an SWF movie (signature FWS, CWS or ZWS)');
  }
  const head = Buffer.from(bytes.subarray(0, 8));
  head.write('FWS', 0, 'latin1');
  return Buffer.concat([head, rest]);
}

// Reads the header and the tag list; throws on anything that is not a well-formed movie.
// The tags' offsets are those of the uncompressed movie.
function parseSwf(file) {
  const bytes = uncompressed(file);
  const version = bytes[3];
  const length = bytes.readUInt32LE(4);
  if (length !== bytes.length) throw new Error(`header says ${length} bytes, file has ${bytes.length}`);
  const nbits = bytes[8] >> 3;
  const rectEnd = 8 + Math.ceil((5 + 4 * nbits) / 8);
  if (rectEnd + 4 > bytes.length) throw new Error('header runs past the end');
  const field = (i) => readSignedBits(bytes, 8 * 8 + 5 + i * nbits, nbits);
  const [xmin, xmax, ymin, ymax] = [0, 1, 2, 3].map(field);
  const frameRate = bytes.readUInt16LE(rectEnd) / 256;
  const frameCount = bytes.readUInt16LE(rectEnd + 2);
  const tags = [];
  let pos = rectEnd + 4;
  for (;;) {
    if (pos + 2 > bytes.length) throw new Error('missing End tag');
    const codeAndLength = bytes.readUInt16LE(pos);
    let headerSize = 2;
    let bodyLength = codeAndLength & 0x3f;
    if (bodyLength === 0x3f) {
      if (pos + 6 > bytes.length) throw new Error(`tag header at ${pos} runs past the end`);
      bodyLength = bytes.readUInt32LE(pos + 2);
      headerSize = 6;
    }
    const end = pos + headerSize + bodyLength;
    if (end > bytes.length) throw new Error(`tag at ${pos} runs past the end`);
    tags.push({ code: codeAndLength >> 6, start: pos, end });
    pos = end;
    if (codeAndLength >> 6 === TAG_END) break;
  }
  return {
    compression: { F: 'none', C: 'zlib', Z: 'lzma' }[file.toString('latin1', 0, 1)],
    version,
    width: Math.round((xmax - xmin) / 20),
    height: Math.round((ymax - ymin) / 20),
    frameRate,
    frameCount,
    headerEnd: rectEnd + 4,
    tags,
  };
}

function readSignedBits(bytes, bit, n) {
  let v = 0;
  for (let i = 0; i < n; i++, bit++) v = v * 2 + ((bytes[bit >> 3] >> (7 - (bit & 7))) & 1);
  return n > 0 && v >= 2 ** (n - 1) ? v - 2 ** n : v;
}

function tagHeader(code, bodyLength) {
  if (bodyLength < 0x3f) {
    const h = Buffer.alloc(2);
    h.writeUInt16LE((code << 6) | bodyLength);
    return h;
  }
  const h = Buffer.alloc(6);
  h.writeUInt16LE((code << 6) | 0x3f);
  h.writeUInt32LE(bodyLength, 2);
  return h;
}

// A DoAction tag that traces `message` and stops the timeline: ActionPush (string), ActionTrace,
// ActionStop, ActionEndFlag. The trace is how the page learns that the frame has been reached.
function traceAndStopTag(message) {
  const text = Buffer.from(message + '\0', 'latin1');
  const push = Buffer.concat([Buffer.from([0x96]), u16(text.length + 1), Buffer.from([0]), text]);
  const body = Buffer.concat([push, Buffer.from([0x26, 0x07, 0x00])]);
  return Buffer.concat([tagHeader(TAG_DO_ACTION, body.length), body]);
}

function u16(v) {
  const b = Buffer.alloc(2);
  b.writeUInt16LE(v);
  return b;
}

// An uncompressed copy of the movie that ends with frame k (from 0) and stops there: every tag
// up to that frame's ShowFrame, with a trace-and-stop DoAction just before it, then End. The
// header's length and frame count are set to match.
function stopAtFrame(file, k, message) {
  const bytes = uncompressed(file);
  const swf = parseSwf(bytes);
  const shows = swf.tags.filter((t) => t.code === TAG_SHOW_FRAME);
  if (!Number.isInteger(k) || k < 0 || k >= shows.length) {
    throw new Error(`frame ${k} is not in the movie (${shows.length} ShowFrame tags)`);
  }
  const show = shows[k];
  const out = Buffer.concat([
    bytes.subarray(0, swf.headerEnd),
    bytes.subarray(swf.headerEnd, show.start),
    traceAndStopTag(message),
    bytes.subarray(show.start, show.end),
    tagHeader(TAG_END, 0),
  ]);
  out.writeUInt32LE(out.length, 4);
  out.writeUInt16LE(k + 1, swf.headerEnd - 2);
  return out;
}

module.exports = { parseSwf, stopAtFrame, TAG_SHOW_FRAME };
