// Keeps the page's own files so that, once visited, it opens and plays with
// no network. The network comes first, so a new build is taken as soon as
// it is served; the kept copy answers only when the network does not.
const cacheName = 'zarvel-page';
const pageFiles = [
    './', 'index.html', 'style.css', 'main.js', 'core.js', 'scheduler.js', 'midi_access.js',
    'voice_view.js', 'tick_worker.js', 'play_list.js', 'link_budget.js', 'measure_worker.js', 'zarvel_core.wasm', 'manifest.webmanifest', 'icon.svg',
];

self.addEventListener('install', (event) => {
    event.waitUntil(caches.open(cacheName).then((cache) => cache.addAll(pageFiles)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
    event.waitUntil(self.clients.claim());
});

self.addEventListener('fetch', (event) => {
    const request = event.request;
    if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
    event.respondWith(
        fetch(request)
            .then((response) => {
                if (response.ok) {
                    const copy = response.clone();
                    event.waitUntil(caches.open(cacheName).then((cache) => cache.put(request, copy)));
                }
                return response;
            })
            .catch(async () => (await caches.match(request, { ignoreSearch: true })) ?? Response.error()),
    );
});
