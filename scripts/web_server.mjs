// A small static server for the web page, on the loopback addresses only:
//   node scripts/web_server.mjs DIR [PORT]
// Browsers insist on the right types for WebAssembly (instantiateStreaming)
// and for JavaScript modules, and Web MIDI needs a secure context, which
// http://localhost is. Prints the page's address once it listens. The tests
// import serveDirectory and listen on a port of the system's choosing.
import { createServer } from 'node:http';
import { readFile, stat } from 'node:fs/promises';
import { extname, join, normalize, resolve, sep } from 'node:path';
import { pathToFileURL } from 'node:url';

const types = {
    '.html': 'text/html; charset=utf-8',
    '.css': 'text/css; charset=utf-8',
    '.js': 'text/javascript; charset=utf-8',
    '.mjs': 'text/javascript; charset=utf-8',
    '.wasm': 'application/wasm',
    '.json': 'application/json',
    '.sid': 'application/octet-stream',
    '.png': 'image/png',
    '.svg': 'image/svg+xml',
    '.webmanifest': 'application/manifest+json',
};

async function respond(root, request, response) {
    const path = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    let file = normalize(join(root, path));
    if (file !== root && !file.startsWith(root + sep)) {
        response.writeHead(403).end();
        return;
    }
    try {
        if ((await stat(file)).isDirectory()) file = join(file, 'index.html');
        const body = await readFile(file);
        response.writeHead(200, {
            'Content-Type': types[extname(file)] ?? 'application/octet-stream',
            'Cache-Control': 'no-store',
        });
        response.end(request.method === 'HEAD' ? undefined : body);
    } catch {
        response.writeHead(404, { 'Content-Type': 'text/plain' }).end('not found\n');
    }
}

// Serves root on host:port; resolves to the listening server.
export function serveDirectory(root, port, host = '127.0.0.1') {
    const directory = resolve(root);
    const server = createServer((request, response) => {
        if (request.method !== 'GET' && request.method !== 'HEAD') {
            response.writeHead(405).end();
            return;
        }
        respond(directory, request, response).catch(() => response.destroy());
    });
    return new Promise((done, fail) => {
        server.once('error', fail);
        server.listen(port, host, () => done(server));
    });
}

if (import.meta.url === pathToFileURL(process.argv[1]).href) {
    const root = process.argv[2] ?? '.';
    const port = Number(process.argv[3] ?? 8064);
    try {
        await serveDirectory(root, port, '127.0.0.1');
    } catch (error) {
        console.error(`web_server: cannot listen on port ${port}: ${error.message}`);
        process.exit(1);
    }
    // "localhost" may reach the IPv6 loopback first; a machine without IPv6
    // has the IPv4 one alone.
    await serveDirectory(root, port, '::1').catch(() => {});
    console.log(`Zarvel's web page: http://localhost:${port}/`);
}
