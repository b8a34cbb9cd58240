// One event stream for every tab of a browser: a browser opens at most six
// connections to one host, so seven tabs each with a stream of their own
// would leave the seventh without figures. The tabs connect to this shared
// worker; it holds the one EventSource (which sends Last-Event-ID when it
// connects again) and passes every event to every tab.
'use strict';

const ports = new Set();
let source = null;
let hello = null;
let failing = false;
let reopening = false;

function broadcast(message) {
  for (const port of ports) port.postMessage(message);
}

function open() {
  source = new EventSource('/api/v1/events');
  for (const type of ['hello', 'figures', 'state', 'beat', 'reset']) {
    source.addEventListener(type, (e) => {
      const message = { type, data: e.data };
      if (type === 'hello') hello = message, failing = false;
      broadcast(message);
    });
  }
  source.onerror = () => {
    hello = null;
    failing = true;
    broadcast({ type: 'error' });
    // A stream refused outright is not tried again by the browser: here it is.
    if (source.readyState === EventSource.CLOSED) {
      source = null;
      reopening = true;
      setTimeout(() => {
        reopening = false;
        open();
      }, 2000);
    }
  };
}

onconnect = (event) => {
  const port = event.ports[0];
  ports.add(port);
  port.onmessage = (m) => {
    if (m.data === 'bye') ports.delete(port);
  };
  port.start();
  if (hello) port.postMessage(hello);
  else if (failing) port.postMessage({ type: 'error' });
  if (!source && !reopening) open();
};
