// Pellanor download capture: the link menu entry "Download with Pellanor", and browser
// downloads handed to Pellanor while its click capture is on. Pellanor's native-messaging host
// (com.harbel.pellanor) answers every message with {ok, taken} or {ok: false, error}.
"use strict";

const api = globalThis.browser ?? globalThis.chrome;
const HOST = "com.harbel.pellanor";
const MENU_ID = "pellanor-download-link";

function ask(message) {
  return api.runtime.sendNativeMessage(HOST, message).catch((error) => ({ ok: false, error: String(error) }));
}

function isDownloadAddress(url) {
  return /^(https?|ftp):\/\//i.test(url || "");
}

api.runtime.onInstalled.addListener(() => {
  api.contextMenus.create({ id: MENU_ID, title: "Download with Pellanor", contexts: ["link"] });
});

api.contextMenus.onClicked.addListener(async (info) => {
  if (info.menuItemId !== MENU_ID || !isDownloadAddress(info.linkUrl))
    return;
  const answer = await ask({ url: info.linkUrl, capture: false });
  if (!answer.ok)
    console.warn("Pellanor did not take the link:", answer.error);
});

// A download the browser starts is held while Pellanor decides: it takes the wanted types while
// its click capture is on, and the browser carries on with everything else.
api.downloads.onCreated.addListener(async (item) => {
  const url = item.finalUrl || item.url;
  if (!isDownloadAddress(url) || item.state !== "in_progress")
    return;
  const paused = await api.downloads.pause(item.id).then(() => true, () => false);
  const answer = await ask({ url, capture: true });
  if (answer.ok && answer.taken) {
    await api.downloads.cancel(item.id).catch(() => {});
    await api.downloads.erase({ id: item.id }).catch(() => {});
  } else if (paused) {
    await api.downloads.resume(item.id).catch(() => {});
  }
});
