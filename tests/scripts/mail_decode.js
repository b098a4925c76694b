// Reads one stored mail message with Node's TextDecoder for every charset the message names,
// independently of the writer, and prints "key<TAB>value" lines (in values a backslash, CR,
// LF and TAB are written as \\, \r, \n and \t).
//   node mail_decode.js MESSAGE_FILE
// Keys: subject, from_name, charset, body (CR LF as LF), attachment_filename (RFC 2231
// filename* or filename=), attachment_name (the name= parameter, encoded words decoded).
'use strict';
const fs = require('fs');

const latin1 = (buf) => buf.toString('latin1');
const decoder = (charset) => new TextDecoder(charset, {fatal: true});

function splitHead(text) {
    const end = text.indexOf('\r\n\r\n');
    const headers = {};
    for (const line of text.slice(0, end).replace(/\r\n([ \t])/g, '$1').split('\r\n')) {
        const colon = line.indexOf(':');
        headers[line.slice(0, colon).toLowerCase()] = line.slice(colon + 1).trim();
    }
    return {headers, body: text.slice(end + 4)};
}

// RFC 2047: each encoded word on its own; white space between two words is dropped.
function decodeWords(value) {
    const word = /=\?([^?]+)\?([BbQq])\?([^?]*)\?=/g;
    let out = '';
    let pos = 0;
    let lastWasWord = false;
    for (let m; (m = word.exec(value)) !== null;) {
        const between = value.slice(pos, m.index);
        if (!(lastWasWord && /^[ \t]*$/.test(between)))
            out += decoder('iso-2022-jp').decode(Buffer.from(between, 'latin1'));
        const bytes = m[2].toUpperCase() === 'B' ? Buffer.from(m[3], 'base64')
            : Buffer.from(m[3].replace(/_/g, ' ').replace(/=([0-9A-F]{2})/g,
                (_, h) => String.fromCharCode(parseInt(h, 16))), 'latin1');
        out += decoder(m[1]).decode(bytes);
        pos = m.index + m[0].length;
        lastWasWord = true;
    }
    return out + decoder('iso-2022-jp').decode(Buffer.from(value.slice(pos), 'latin1'));
}

function params(value) {
    const out = {};
    for (const piece of value.split(';').slice(1)) {
        const eq = piece.indexOf('=');
        let v = piece.slice(eq + 1).trim();
        if (v.startsWith('"'))
            v = v.slice(1, -1);
        out[piece.slice(0, eq).trim().toLowerCase()] = v;
    }
    return out;
}

function extendedFileName(p) {
    let joined = p['filename*'];
    if (joined === undefined) {
        joined = '';
        for (let i = 0; p[`filename*${i}*`] !== undefined; ++i)
            joined += p[`filename*${i}*`];
        if (joined === '')
            return p.filename !== undefined ? decodeWords(p.filename) : '';
    }
    const [charset, , encoded] = joined.split("'");
    const bytes = Buffer.from(encoded.replace(/%([0-9A-F]{2})/g,
        (_, h) => String.fromCharCode(parseInt(h, 16))), 'latin1');
    return decoder(charset).decode(bytes);
}

function textOf(part) {
    const charset = params(part.headers['content-type']).charset;
    const raw = (part.headers['content-transfer-encoding'] || '').toLowerCase() === 'base64'
        ? Buffer.from(part.body.replace(/\r\n/g, ''), 'base64') : Buffer.from(part.body, 'latin1');
    return {charset, text: decoder(charset).decode(raw).replace(/\r\n/g, '\n')};
}

const message = splitHead(latin1(fs.readFileSync(process.argv[2])));
const fields = {subject: decodeWords(message.headers.subject || '')};
const from = message.headers.from || '';
let name = from.slice(0, from.lastIndexOf('<')).trim();
if (name.startsWith('"'))
    name = name.slice(1, -1).replace(/\\(.)/g, '$1');
fields.from_name = decodeWords(name);
const type = message.headers['content-type'];
let text = message;
if (type.toLowerCase().startsWith('multipart/')) {
    const boundary = '--' + params(type).boundary;
    const parts = message.body.split(boundary).slice(1, -1)
        .map((p) => splitHead(p.replace(/^\r\n/, '').replace(/\r\n$/, '')));
    text = parts[0];
    const attachment = parts[1];
    fields.attachment_filename = extendedFileName(params(attachment.headers['content-disposition']));
    fields.attachment_name = decodeWords(params(attachment.headers['content-type']).name || '');
}
const {charset, text: body} = textOf(text);
fields.charset = charset.toLowerCase();
fields.body = body;
const escape = (v) => v.replace(/\\/g, '\\\\').replace(/\r/g, '\\r').replace(/\n/g, '\\n')
    .replace(/\t/g, '\\t');
for (const [k, v] of Object.entries(fields))
    process.stdout.write(`${k}\t${escape(v)}\n`);
