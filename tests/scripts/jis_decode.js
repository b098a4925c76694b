// Decodes ISO-2022-JP read from standard input with the WHATWG TextDecoder, the decoder that
// browsers and mail readers use, and writes UTF-8 to standard output.
//   node jis_decode.js text     the input bytes as they are
//   node jis_decode.js header   a header value: unfolded, each RFC 2047 encoded word decoded
//                               on its own
//   node jis_decode.js nfkc     UTF-8 input, written back in normalisation form KC
'use strict';
const fs = require('fs');

const input = fs.readFileSync(0);
const mode = process.argv[2] || 'text';

// Each encoded word is decoded on its own, as RFC 2047 (section 5) requires of a word that
// holds whole characters; text between words is decoded as raw ISO-2022-JP.
function decodeHeader(buf) {
    const decode = (bytes) => new TextDecoder('iso-2022-jp', {fatal: true}).decode(bytes);
    const text = buf.toString('latin1').replace(/\r\n([ \t])/g, '$1');
    const word = /=\?([^?]+)\?([BbQq])\?([^?]*)\?=/g;
    let out = '';
    let pos = 0;
    let lastWasWord = false;
    for (let m; (m = word.exec(text)) !== null;) {
        const between = text.slice(pos, m.index);
        // White space between two encoded words is not part of the text (RFC 2047 6.2).
        if (!(lastWasWord && /^[ \t]*$/.test(between)))
            out += decode(Buffer.from(between, 'latin1'));
        if (m[1].toUpperCase() !== 'ISO-2022-JP')
            throw new Error('unexpected charset ' + m[1]);
        if (m[2].toUpperCase() === 'B')
            out += decode(Buffer.from(m[3], 'base64'));
        else
            out += decode(Buffer.from(m[3].replace(/_/g, ' ').replace(/=([0-9A-F]{2})/g,
                (_, h) => String.fromCharCode(parseInt(h, 16))), 'latin1'));
        pos = m.index + m[0].length;
        lastWasWord = true;
    }
    return out + decode(Buffer.from(text.slice(pos), 'latin1'));
}

let out;
if (mode === 'text') {
    out = new TextDecoder('iso-2022-jp', {fatal: true}).decode(input);
} else if (mode === 'header') {
    out = decodeHeader(input);
} else if (mode === 'nfkc') {
    out = input.toString('utf8').normalize('NFKC');
} else {
    throw new Error('unknown mode ' + mode);
}
process.stdout.write(out);
