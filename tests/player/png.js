'use strict';
// Reads the PNG files the harness compares: Chromium's screenshots and the frames that
// `quorvel extract` writes. 8-bit grey, RGB, palette, grey+alpha or RGBA, not interlaced.
// Writes RGBA ones: the frames the browser decodes from a GIF.

const zlib = require('zlib');

const CHANNELS = { 0: 1, 2: 3, 3: 1, 4: 2, 6: 4 };

// { width, height, rgb } with rgb holding 3 bytes per pixel, rows top first.
function decodePng(bytes) {
  if (bytes.length < 8 || bytes.readUInt32BE(0) !== 0x89504e47) throw new Error('not a PNG file');
  let pos = 8;
  let header = null;
  let palette = null;
  const data = [];
  while (pos + 8 <= bytes.length) {
    const length = bytes.readUInt32BE(pos);
    const type = bytes.toString('latin1', pos + 4, pos + 8);
    const body = bytes.subarray(pos + 8, pos + 8 + length);
    if (type === 'IHDR') {
      header = {
        width: body.readUInt32BE(0),
        height: body.readUInt32BE(4),
        depth: body[8],
        colorType: body[9],
        interlace: body[12],
      };
    } else if (type === 'PLTE') {
      palette = body;
    } else if (type === 'IDAT') {
      data.push(body);
    } else if (type === 'IEND') {
      break;
    }
    pos += 12 + length;
  }
  if (!header) throw new Error('PNG without a header');
  const { width, height, depth, colorType, interlace } = header;
  const channels = CHANNELS[colorType];
  if (depth !== 8 || !channels || interlace !== 0) {
    throw new Error(`unsupported PNG (depth ${depth}, colour type ${colorType}, interlace ${interlace})`);
  }
  const raw = zlib.inflateSync(Buffer.concat(data));
  const stride = width * channels;
  if (raw.length < height * (stride + 1)) throw new Error('PNG data is short');
  const pixels = unfilter(raw, width, height, channels);
  const rgb = Buffer.alloc(width * height * 3);
  for (let i = 0; i < width * height; i++) {
    const p = i * channels;
    let r, g, b;
    if (colorType === 3) {
      [r, g, b] = palette.subarray(3 * pixels[p], 3 * pixels[p] + 3);
    } else if (channels <= 2) {
      r = g = b = pixels[p];
    } else {
      [r, g, b] = [pixels[p], pixels[p + 1], pixels[p + 2]];
    }
    rgb[3 * i] = r;
    rgb[3 * i + 1] = g;
    rgb[3 * i + 2] = b;
  }
  return { width, height, rgb };
}

function unfilter(raw, width, height, bpp) {
  const stride = width * bpp;
  const out = Buffer.alloc(height * stride);
  for (let y = 0; y < height; y++) {
    const filter = raw[y * (stride + 1)];
    const src = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    const row = y * stride;
    for (let x = 0; x < stride; x++) {
      const a = x >= bpp ? out[row + x - bpp] : 0;
      const b = y > 0 ? out[row - stride + x] : 0;
      const c = x >= bpp && y > 0 ? out[row - stride + x - bpp] : 0;
      let predictor;
      switch (filter) {
        case 0: predictor = 0; break;
        case 1: predictor = a; break;
        case 2: predictor = b; break;
        case 3: predictor = (a + b) >> 1; break;
        case 4: predictor = paeth(a, b, c); break;
        default: throw new Error(`bad PNG filter ${filter}`);
      }
      out[row + x] = (src[x] + predictor) & 0xff;
    }
  }
  return out;
}

function paeth(a, b, c) {
  const p = a + b - c;
  const pa = Math.abs(p - a);
  const pb = Math.abs(p - b);
  const pc = Math.abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// Peak signal-to-noise ratio in dB over every channel of every pixel; Infinity when equal,
// -Infinity when the sizes differ.
function psnr(x, y) {
  if (x.width !== y.width || x.height !== y.height) return -Infinity;
  let sum = 0;
  for (let i = 0; i < x.rgb.length; i++) sum += (x.rgb[i] - y.rgb[i]) ** 2;
  if (sum === 0) return Infinity;
  return 10 * Math.log10((255 * 255 * x.rgb.length) / sum);
}

// An 8-bit RGBA PNG of rgba (4 bytes per pixel, rows top first), every row unfiltered.
function encodePng(width, height, rgba) {
  const chunk = (type, body) => {
    const head = Buffer.alloc(8);
    head.writeUInt32BE(body.length);
    head.write(type, 4, 'latin1');
    const crc = Buffer.alloc(4);
    crc.writeUInt32BE(zlib.crc32(body, zlib.crc32(type)));
    return Buffer.concat([head, body, crc]);
  };
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width);
  header.writeUInt32BE(height, 4);
  header.set([8, 6, 0, 0, 0], 8);  // depth 8, RGBA, deflate, no filter method, not interlaced
  const rows = [];
  for (let y = 0; y < height; y++) {
    rows.push(Buffer.from([0]), rgba.subarray(4 * width * y, 4 * width * (y + 1)));
  }
  return Buffer.concat([
    Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
    chunk('IHDR', header), chunk('IDAT', zlib.deflateSync(Buffer.concat(rows))),
    chunk('IEND', Buffer.alloc(0)),
  ]);
}

module.exports = { decodePng, encodePng, psnr };
