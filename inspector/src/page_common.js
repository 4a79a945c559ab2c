// What every page script shares, written once: the build puts this before
// each script's own text, both inside one function of their own
// (cmake/embed_text.cmake), so nothing here reaches the page's globals.

// Only the program's own pages; any other frontend runs as it was written.
if (!/^(devtools:|http:\/\/devtools\.)/i.test(location.href)) return;

// A module of the frontend, by its path from the page: a script of ours
// resolves import() against its own base, not the page's.
const frontendModule = (path) => import(new URL(path, document.baseURI).href);

// A drawn source link is a live location that the linkifier follows until
// it is reset. Lets go of every link in `element`; returns them.
function releaseLinks(element, Linkifier) {
  const links = [];
  for (const link of element.querySelectorAll('.devtools-link')) {
    const info = Linkifier.linkInfo(link);
    if (!info) continue;
    info.liveLocation?.dispose();
    info.liveLocation = null;
    Linkifier.unbindUILocation(link);
    links.push(link);
  }
  return links;
}
