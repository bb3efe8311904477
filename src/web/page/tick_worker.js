// The scheduler's clock. A worker's timer keeps its pace while the page's tab
// is in the background, where the browser slows the page's own timers down.
let timer;
onmessage = (event) => {
    clearInterval(timer);
    timer = setInterval(() => postMessage(0), event.data.intervalMs);
};
