'use strict';
// What the browser itself makes of an animation (GIF, WebP or PNG/APNG, told by its first bytes):
// Chromium's own decoder, through WebCodecs' ImageDecoder in the harness's page, gives every frame as the browser composes it (RGBA,
// transparent where the GIF shows nothing of its own), each frame's duration and the
// animation's repetition count. ImageDecoder needs a secure context: the page's loopback
// origin is one.
//
//   gifdecode GIF OUTDIR   writes OUTDIR/browser_<k>.png, one RGBA PNG a frame, and answers
//     gifdecode GIF frame K DURATION_MS OUTDIR/browser_K.png   (one line a frame, in order)
//     gifdecode GIF repeats COUNT        (Infinity: for ever) | gifdecode GIF error MESSAGE

const fs = require('fs');
const path = require('path');
const { encodePng } = require('./png');

// Runs in the page: the frames as { width, height, format, pixels (base64), durationUs }.
async function decodeInPage(base64, type) {
  const data = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
  const decoder = new ImageDecoder({
    data, type, colorSpaceConversion: 'none', premultiplyAlpha: 'none',
  });
  await decoder.tracks.ready;
  await decoder.completed;
  const track = decoder.tracks.selectedTrack;
  const frames = [];
  for (let i = 0; i < track.frameCount; i++) {
    const { image } = await decoder.decode({ frameIndex: i, completeFramesOnly: true });
    const pixels = new Uint8Array(image.allocationSize());
    await image.copyTo(pixels);
    let text = '';
    for (let j = 0; j < pixels.length; j += 8192) {
      text += String.fromCharCode(...pixels.subarray(j, j + 8192));
    }
    frames.push({
      width: image.codedWidth, height: image.codedHeight, format: image.format,
      pixels: btoa(text), durationUs: image.duration,
    });
    image.close();
  }
  const repetitionCount = track.repetitionCount;
  decoder.close();
  return { frames, repetitionCount: String(repetitionCount) };
}

// RGBA rows of a frame in one of the 8-bit, 4-channel layouts a VideoFrame comes in.
function rgbaOf({ width, height, format, pixels }) {
  const raw = Buffer.from(pixels, 'base64');
  if (!['RGBA', 'RGBX', 'BGRA', 'BGRX'].includes(format) || raw.length !== 4 * width * height) {
    throw new Error(`unexpected frame layout ${format}, ${raw.length} bytes for ${width} x ${height}`);
  }
  const rgba = Buffer.from(raw);
  for (let i = 0; i < rgba.length; i += 4) {
    if (format.startsWith('BGR')) [rgba[i], rgba[i + 2]] = [raw[i + 2], raw[i]];
    if (format.endsWith('X')) rgba[i + 3] = 255;
  }
  return rgba;
}

function parseGifDecode(fields) {
  const [kind, gif, out, ...rest] = fields;
  if (kind !== 'gifdecode' || !gif || !out || rest.length) return null;
  return { kind, movie: gif, out };
}

// The MIME type of an image by its signature; GIF for anything else, which the decoder refuses.
function imageType(bytes) {
  if (bytes.length >= 12 && bytes.toString('latin1', 0, 4) === 'RIFF' &&
      bytes.toString('latin1', 8, 12) === 'WEBP') return 'image/webp';
  if (bytes.length >= 8 && bytes.subarray(0, 8).equals(Buffer.from('\x89PNG\r\n\x1a\n', 'latin1'))) {
    return 'image/png';
  }
  return 'image/gif';
}

async function answerGifDecode(page, request, outputLine) {
  const bytes = fs.readFileSync(request.movie);
  const decoded = await page.evaluate(decodeInPage, bytes.toString('base64'), imageType(bytes));
  fs.mkdirSync(request.out, { recursive: true });
  decoded.frames.forEach((frame, k) => {
    const file = path.join(request.out, `browser_${k}.png`);
    fs.writeFileSync(file, encodePng(frame.width, frame.height, rgbaOf(frame)));
    outputLine('gifdecode', request.movie, 'frame', k, frame.durationUs / 1000, file);
  });
  outputLine('gifdecode', request.movie, 'repeats', decoded.repetitionCount);
}

module.exports = { parseGifDecode, answerGifDecode };
