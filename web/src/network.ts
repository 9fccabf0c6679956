// SPDX-License-Identifier: GPL-3.0-or-later
// The network: the stations on a map of the world by their positions, coloured by their
// health, and the health table beside it, both refreshed every few seconds. Stations
// ticked in the table open side by side.
import { feature } from "topojson-client";
import { el, get, Stations, stateClass } from "./api";

const W = 720, H = 360;
const project = (lon: number, lat: number) => [((lon + 180) / 360) * W, ((90 - lat) / 180) * H];

function pathOf(geometry: any): string {
  const rings: number[][][] = geometry.type === "Polygon" ? geometry.coordinates
    : geometry.type === "MultiPolygon" ? geometry.coordinates.flat() : [];
  // A ring that crosses the antimeridian is drawn in pieces, not across the whole map.
  return rings.map((ring) => ring.map(([lon, lat], i) => {
    const [x, y] = project(lon, lat);
    const jump = i === 0 || Math.abs(lon - ring[i - 1][0]) > 180;
    return (jump ? "M" : "L") + x.toFixed(1) + "," + y.toFixed(1);
  }).join("")).join("");
}

let land: string | null = null;
async function landPath(): Promise<string> {
  if (land === null) {
    const topology = await get<any>("/land-110m.json");
    const geo: any = feature(topology, topology.objects.land);
    land = (geo.features || [geo]).map((f: any) => pathOf(f.geometry)).join("");
  }
  return land;
}

const fills: Record<string, string> = {
  "state-online": "#3fb950", "state-stale": "#d29922", "state-offline": "#f85149", "state-unknown": "#8b949e",
};

export async function showNetwork(app: HTMLElement, setTitle: (t: string) => void): Promise<() => void> {
  setTitle("the network");
  const map = el("div", { class: "map" });
  const table = el("div", { class: "health" });
  const compare = el("button", { id: "compare", disabled: "" }, "Side by side");
  app.replaceChildren(el("div", { class: "row" }, map, table), el("div", { class: "bar" }, compare));
  const ticked = new Set<string>();
  compare.addEventListener("click", () => {
    location.href = "/?view=compare&stations=" + [...ticked].join(",");
  });
  const path = await landPath();
  const refresh = async () => {
    let data: Stations;
    try {
      data = await get<Stations>("/api/stations");
    } catch (e) {
      table.replaceChildren(el("p", { class: "error" }, String((e as Error).message)));
      return;
    }
    const svg = document.createElementNS("http://www.w3.org/2000/svg", "svg");
    svg.setAttribute("viewBox", `0 0 ${W} ${H}`);
    svg.innerHTML = `<path class="land" d="${path}"></path>`;
    for (const s of data.stations) {
      if (s.latitude === null || s.longitude === null) continue;
      const [x, y] = project(s.longitude, s.latitude);
      const a = document.createElementNS("http://www.w3.org/2000/svg", "a");
      a.setAttribute("href", "/?view=station&station=" + encodeURIComponent(s.name));
      const dot = document.createElementNS("http://www.w3.org/2000/svg", "circle");
      dot.setAttribute("cx", x.toFixed(1)); dot.setAttribute("cy", y.toFixed(1)); dot.setAttribute("r", "5");
      dot.setAttribute("fill", fills[stateClass(s.state)]); dot.setAttribute("stroke", "#0d1117");
      dot.setAttribute("class", "station"); dot.setAttribute("data-station", s.name);
      const title = document.createElementNS("http://www.w3.org/2000/svg", "title");
      title.textContent = `${s.name}: ${s.state}`;
      dot.append(title); a.append(dot); svg.append(a);
    }
    map.replaceChildren(svg);
    const head = el("tr", {}, el("th", {}, ""), ...data.header.map((h) => el("th", {}, h)));
    const rows = data.stations.map((s) => {
      const box = el("input", { type: "checkbox", "aria-label": "choose " + s.name });
      box.checked = ticked.has(s.name);
      box.addEventListener("change", () => {
        box.checked ? ticked.add(s.name) : ticked.delete(s.name);
        compare.disabled = ticked.size < 1;
      });
      const cells = s.cells.map((c, i) => i === 0
        ? el("td", {}, el("a", { href: "/?view=station&station=" + encodeURIComponent(s.name) }, c))
        : el("td", i === 1 ? { class: stateClass(s.state) } : {}, c));
      return el("tr", { "data-station": s.name }, el("td", {}, box), ...cells);
    });
    table.replaceChildren(el("table", {}, el("thead", {}, head), el("tbody", {}, ...rows)));
  };
  await refresh();
  const timer = window.setInterval(refresh, 5000);
  return () => window.clearInterval(timer);
}
