// Hands page inputs to the program. Each input is stored as a cookie of the window's data
// folder; the program takes in the cookies of the next request there, so after storing, a
// page makes one small request there (dsSendInputs). Every page that takes inputs stores
// them through this file only.
//
// The window's addresses start with the run's secret segment ("/<secret>/data/Page.html").
// A browser shares a host's cookies with every port of it, so the cookies get that folder
// as their path (no page elsewhere reads them) and the name prefix "ds<secret>_" (the
// program takes in no cookie that a page elsewhere plants). The program expires each input
// once it has taken it in.

// The secret segment of this page's address.
function dsSecretSegment() {
  var path = window.location.pathname;
  var end = path.indexOf("/", 1);
  return end > 1 ? path.substring(1, end) : "";
}

// The window's data folder ("/<secret>/data/"): the cookies' path.
function dsInputPath() {
  return "/" + dsSecretSegment() + "/data/";
}

// Stores one input. The value is percent-encoded, so ";", "," and "=" survive.
function dsStoreInput(name, value) {
  document.cookie = "ds" + dsSecretSegment() + "_" + name + "=" +
      encodeURIComponent(String(value)) + "; path=" + dsInputPath() + "; SameSite=Strict";
}

// Stores an input given as one "name=value" text, as the page builders write them.
function dsStoreInputItem(item) {
  var equals = String(item).indexOf("=");
  if (equals > 0) dsStoreInput(item.substring(0, equals), item.substring(equals + 1));
}

// Lets the program see the stored inputs: a request to the data folder carries them.
function dsSendInputs() {
  if (!window.fetch) return;
  window.fetch(dsInputPath() + ".inputs", { cache: "no-store", credentials: "same-origin" })
      .catch(function () {});
}
