// Hands page inputs to the program. Each input is stored as a cookie of the page's folder;
// the program reads the Cookie header of the next request under that folder, so after
// storing, a page makes one small request there (dsSendInputs). Every page that takes
// inputs stores them through this file only.

// The page's folder ("/data/"): the cookies' path.
function dsInputPath() {
  var path = window.location.pathname;
  return path.substring(0, path.lastIndexOf("/") + 1);
}

// Stores one input. The value is percent-encoded, so ";", "," and "=" survive.
function dsStoreInput(name, value) {
  document.cookie = name + "=" + encodeURIComponent(String(value)) + "; path=" + dsInputPath() +
      "; SameSite=Strict";
}

// Lets the program see the stored inputs: a request under the page's folder carries them.
function dsSendInputs() {
  if (!window.fetch) return;
  window.fetch("./.inputs", { cache: "no-store", credentials: "same-origin" })
      .catch(function () {});
}
