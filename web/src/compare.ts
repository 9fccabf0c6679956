// SPDX-License-Identifier: GPL-3.0-or-later
// Several stations on one time axis, one night at a time.
import uPlot from "uplot";
import { drawChart } from "./chart";
import { addDays, Day, el, get, nightOf, seriesOf, Span } from "./api";

export async function showCompare(app: HTMLElement, params: URLSearchParams, go: (p: Record<string, string>) => void,
  setTitle: (t: string) => void): Promise<void> {
  const stations = (params.get("stations") || "").split(",").filter((s) => s);
  let night = params.get("night") || "";
  if (!night && stations.length) {
    const days = await get<{ days: Day[] }>("/api/days?station=" + encodeURIComponent(stations[0]));
    if (days.days.length) night = nightOf(days.days[0].last);
  }
  if (!night) { app.replaceChildren(el("p", {}, "No lines to show.")); return; }
  setTitle(`${stations.join(", ")} · night ${night}`);
  const prev = el("button", { id: "prev" }, "◀ Previous night");
  const next = el("button", { id: "next" }, "Next night ▶");
  const reading = el("div", { id: "reading" }, "");
  const box = el("div", { class: "chart", id: "chart" });
  app.replaceChildren(el("div", { class: "bar" }, prev, next), box, reading);
  prev.addEventListener("click", () => go({ view: "compare", stations: stations.join(","), night: addDays(night, -1) }));
  next.addEventListener("click", () => go({ view: "compare", stations: stations.join(","), night: addDays(night, 1) }));
  const span = await get<Span>(`/api/span?stations=${stations.map(encodeURIComponent).join(",")}&date=${night}&kind=night`);
  const columns = span.stations.map((s) => { const { t, count } = seriesOf(s); return [t, count] as uPlot.AlignedData; });
  const data = uPlot.join(columns);
  drawChart(box, data, { names: span.stations.map((s) => s.name), unit: "counts", invert: false, sky: null,
    from: span.from, to: span.to, onReading: (text) => { reading.textContent = text; } });
  document.body.dataset.drawn = night;
}
