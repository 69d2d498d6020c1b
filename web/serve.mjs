// A small static file server for the page: `node web/serve.mjs FOLDER [PORT]`. Serves FOLDER on
// http://localhost:PORT (a secure context, where browsers offer Web Serial) and nowhere else.
// The browser tests import serveFolder to serve a folder on a free port.
import {createReadStream} from 'node:fs';
import {stat} from 'node:fs/promises';
import {createServer} from 'node:http';
import {extname, join, normalize, resolve, sep} from 'node:path';
import {fileURLToPath} from 'node:url';

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm',  // streaming compilation needs exactly this type
  '.png': 'image/png',
  '.svg': 'image/svg+xml',
  '.ico': 'image/x-icon',
  '.json': 'application/json',
  '.zfr': 'application/octet-stream',
};

// The file a request names, or null when it lies outside the folder.
function fileFor(root, url) {
  const path = decodeURIComponent(new URL(url, 'http://localhost').pathname);
  const file = normalize(join(root, path.endsWith('/') ? `${path}index.html` : path));
  return file === root || file.startsWith(root + sep) ? file : null;
}

async function answer(root, request, response) {
  const file = fileFor(root, request.url);
  const info = file && (await stat(file).catch(() => null));
  if (!info?.isFile() || !['GET', 'HEAD'].includes(request.method)) {
    response.writeHead(file ? 404 : 403, {'Content-Type': 'text/plain'});
    response.end(file ? 'not found\n' : 'forbidden\n');
    return;
  }
  response.writeHead(200, {
    'Content-Type': TYPES[extname(file)] ?? 'application/octet-stream',
    'Content-Length': info.size,
    'Cache-Control': 'no-cache',
  });
  if (request.method === 'HEAD')
    response.end();
  else
    createReadStream(file).pipe(response);
}

// Serves `folder` on `host`:`port` (0: a free one); resolves to {port, close}.
export async function serveFolder(folder, port = 0, host = '127.0.0.1') {
  const root = resolve(folder);
  const server = createServer((request, response) => {
    answer(root, request, response).catch(() => response.destroy());
  });
  await new Promise((done, fail) => {
    server.once('error', fail);
    server.listen(port, host, done);
  });
  // The browser keeps its connections alive: end them, or close() waits for them.
  const close = () =>
      new Promise((done) => {
        server.close(done);
        server.closeAllConnections();
      });
  return {port: server.address().port, close};
}

if (process.argv[1] && resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  const root = resolve(process.argv[2] ?? '.');
  const {port} = await serveFolder(root, Number(process.argv[3] ?? 8080), 'localhost');
  console.log(`tarvex page: http://localhost:${port}/ (serving ${root})`);
}
