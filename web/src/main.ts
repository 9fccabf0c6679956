// SPDX-License-Identifier: GPL-3.0-or-later
// The pages' entry: the address says what is shown (view, station(s), night, unit), so a
// link opens the same view; moving to another night changes the address.
import { el } from "./api";
import { showCompare } from "./compare";
import { showNetwork } from "./network";
import { showStation } from "./station";

const app = document.getElementById("app")!;
const title = document.getElementById("title")!;
let stop: (() => void) | null = null;

function setTitle(text: string) {
  title.textContent = text;
  document.title = "Nocturo · " + text;
}

function go(params: Record<string, string>) {
  history.pushState(null, "", "/?" + new URLSearchParams(params).toString());
  show();
}

async function show() {
  if (stop) { stop(); stop = null; }
  delete document.body.dataset.drawn;
  const params = new URLSearchParams(location.search);
  const view = params.get("view") || "network";
  try {
    if (view === "station") await showStation(app, params, go, setTitle);
    else if (view === "compare") await showCompare(app, params, go, setTitle);
    else stop = await showNetwork(app, setTitle);
  } catch (e) {
    app.replaceChildren(el("p", { class: "error" }, String((e as Error).message)));
  }
}

window.addEventListener("popstate", show);
show();
