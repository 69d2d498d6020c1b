// A small static file server for the page: `node web/serve.mjs FOLDER [PORT]`. Serves FOLDER on
// http://localhost:PORT (a secure context, where browsers offer Web Serial) and nowhere else.
import {createReadStream} from 'node:fs';
import {stat} from 'node:fs/promises';
import {createServer} from 'node:http';
import {extname, join, normalize, resolve, sep} from 'node:path';

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm',  // streaming compilation needs exactly this type
  '.png': 'image/png',
  '.svg': 'image/svg+xml',
  '.json': 'application/json',
  '.zfr': 'application/octet-stream',
};

const root = resolve(process.argv[2] ?? '.');
const port = Number(process.argv[3] ?? 8080);

// The file a request names, or null when it lies outside the folder.
function fileFor(url) {
  const path = decodeURIComponent(new URL(url, 'http://localhost').pathname);
  const file = normalize(join(root, path.endsWith('/') ? `${path}index.html` : path));
  return file === root || file.startsWith(root + sep) ? file : null;
}

const server = createServer(async (request, response) => {
  const file = fileFor(request.url);
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
});

server.listen(port, 'localhost', () => {
  console.log(`tarvex page: http://localhost:${server.address().port}/ (serving ${root})`);
});
