// SPDX-License-Identifier: GPL-3.0-or-later
// A station: its last night at once (or the night the address names), counts or
// magnitudes over the sky's light and the Moon, the previous and next night, the year's
// nights as a heat map (a click opens that night), the nightly figures and the downloads.
import uPlot from "uplot";
import { conditionLooks, drawChart } from "./chart";
import { nightRequests } from "./first";
import {
  addDays, Day, el, get, magnitude, NightFigure, nightOf, seriesOf, Sky, Span, Year,
} from "./api";

declare global {
  interface Window {
    nocturoChart?: { t: number[]; y: (number | null)[]; chart: uPlot };
    nocturoConditions?: { t: number[]; names: string[]; colours: Record<string, string> };
  }
}

export async function showStation(app: HTMLElement, params: URLSearchParams, go: (p: Record<string, string>) => void,
  setTitle: (t: string) => void): Promise<void> {
  const station = params.get("station") || "";
  // The night first: with the night in the address its lines, its sky and the station's
  // days are asked at once; without, the days say which night is the last.
  const daysAsked = get<{ days: Day[] }>("/api/days?station=" + encodeURIComponent(station));
  const named = params.get("night");
  const nightAsked = (n: string) => {
    const [spanPath, skyPath] = nightRequests(encodeURIComponent(station), n);
    return Promise.all([get<Span>(spanPath), get<Sky>(skyPath).catch(() => null)]);
  };
  const early = named ? nightAsked(named) : null;
  const newestOf = (d: { days: Day[] }) => (d.days.length ? d.days[0].last : null);
  let night = named || "";
  if (!named) {
    const newest = newestOf(await daysAsked);
    if (newest !== null) night = nightOf(newest);
  }
  if (!night) {
    app.replaceChildren(el("p", {}, `Station ${station} has no lines yet.`));
    return;
  }
  const unit = params.get("unit") === "mag" ? "mag" : "counts";
  setTitle(`${station} · night ${night} to ${addDays(night, 1)}`);
  const reading = el("div", { id: "reading" }, "");
  const chartBox = el("div", { class: "chart", id: "chart" });
  const prev = el("button", { id: "prev" }, "◀ Previous night");
  const next = el("button", { id: "next" }, "Next night ▶");
  const units = el("select", { id: "unit", "aria-label": "unit" },
    el("option", { value: "counts" }, "counts"), el("option", { value: "mag" }, "mag/arcsec²"));
  units.value = unit;
  const info = el("span", { class: "note", id: "info" }, "");
  const q = (extra: string) => `station=${encodeURIComponent(station)}&date=${night}${extra}`;
  const downloads = el("div", { class: "bar" },
    el("a", { href: "/api/download?" + q("&kind=night&format=csv"), download: "" }, "Night as CSV"),
    el("a", { href: "/api/download?" + q("&kind=night&format=skyglow"), download: "" }, "Night as skyglow file"),
    el("a", { href: `/api/nights?station=${encodeURIComponent(station)}&from=${addDays(night, -29)}&to=${night}&format=csv`, download: "" }, "Nightly figures as CSV"));
  const year = el("div", { class: "year" });
  const figures = el("div", { class: "health" });
  app.replaceChildren(el("div", { class: "bar" }, prev, next, units, info), chartBox, reading,
    el("h2", {}, "Downloads"), downloads, el("h2", {}, "The year's nights"), year,
    el("h2", {}, "Nightly figures"), figures);
  prev.addEventListener("click", () => go({ view: "station", station, night: addDays(night, -1), unit }));
  next.addEventListener("click", () => go({ view: "station", station, night: addDays(night, 1), unit }));
  units.addEventListener("change", () => go({ view: "station", station, night, unit: units.value }));
  // The last night has no next one (known once the days are in, which may come later).
  daysAsked.then((d) => {
    const newest = newestOf(d);
    if (newest !== null && night >= nightOf(newest)) next.disabled = true;
  }).catch(() => undefined);

  const [span, sky] = await (early || nightAsked(night));
  const s = span.stations[0];
  const { t, count } = seriesOf(s);
  const mags = unit === "mag" && s.zeroPoint !== null;
  const y = mags ? count.map((c) => magnitude(c, s.zeroPoint)) : count;
  info.textContent = `${s.lines} lines` + (sky && sky.position ? ` · Moon ${Math.round((sky.moonIlluminated || 0) * 100)}% illuminated` : " · no position for the sky")
    + (unit === "mag" && s.zeroPoint === null ? " · no zero point: counts" : "");
  const chart = drawChart(chartBox, [t, y], {
    names: [station], unit: mags ? "mag/arcsec²" : "counts", invert: mags, sky,
    from: span.from, to: span.to, onReading: (text) => { reading.textContent = text; },
    conditions: s.conditions,
  });
  window.nocturoChart = { t, y, chart };
  if (s.conditions) {
    const c = s.conditions;
    const colours: Record<string, string> = {};
    for (const [name, [colour]] of Object.entries(conditionLooks)) colours[name] = colour;
    window.nocturoConditions = { t: c.t, names: c.code.map((k) => c.names[k]), colours };
  }
  document.body.dataset.drawnMs = String(Math.round(performance.now()));
  document.body.dataset.drawn = night;

  drawYear(year, station, night, (n) => go({ view: "station", station, night: n, unit })).catch((e) => {
    year.replaceChildren(el("p", { class: "error" }, String(e.message)));
  });
  get<{ nights: NightFigure[] }>(`/api/nights?station=${encodeURIComponent(station)}&from=${addDays(night, -13)}&to=${night}`)
    .then((f) => {
      const head = el("tr", {}, ...["night", "dark min", "moonless", "measured", "median", "p10", "p90", "median mag", "darkest mag", "no line s", "failed s"].map((h) => el("th", {}, h)));
      const fmt = (v: number | null) => (v === null ? "-" : v.toFixed(2));
      const rows = f.nights.slice().reverse().map((n) => {
        const link = el("a", { href: `/?view=station&station=${encodeURIComponent(station)}&night=${n.night}` }, n.night);
        return el("tr", {}, el("td", {}, link), ...[n.darkMinutes, n.darkMoonlessMinutes, n.measuredMinutes].map((v) => el("td", {}, String(v))),
          ...[n.medianCount, n.p10Count, n.p90Count, n.medianMagnitude, n.darkestMagnitude].map((v) => el("td", {}, fmt(v))),
          el("td", {}, String(n.secondsWithoutLine)), el("td", {}, String(n.failedSeconds)));
      });
      figures.replaceChildren(el("table", { id: "figures" }, el("thead", {}, head), el("tbody", {}, ...rows)));
    })
    .catch((e) => figures.replaceChildren(el("p", { class: "note" }, String(e.message))));
}

async function drawYear(box: HTMLElement, station: string, night: string, open: (night: string) => void) {
  const y = await get<Year>(`/api/year?station=${encodeURIComponent(station)}&night=${night}&step=10`);
  const canvas = el("canvas", { id: "year", width: String(y.nights), height: String(y.rows) });
  const ctx = canvas.getContext("2d")!;
  const image = ctx.createImageData(y.nights, y.rows);
  let lo = Infinity, hi = -Infinity;
  for (const v of y.median) if (v !== null && v > 0) { lo = Math.min(lo, Math.log10(v)); hi = Math.max(hi, Math.log10(v)); }
  for (let n = 0; n < y.nights; n++) {
    for (let r = 0; r < y.rows; r++) {
      const v = y.median[n * y.rows + r];
      const p = (r * y.nights + n) * 4;
      if (v === null) { image.data[p + 3] = 0; continue; }
      const f = hi > lo && v > 0 ? (Math.log10(v) - lo) / (hi - lo) : 0;
      image.data[p] = 20 + 235 * f; image.data[p + 1] = 30 + 170 * f * f; image.data[p + 2] = 90 + 60 * (1 - f);
      image.data[p + 3] = 255;
    }
  }
  ctx.putImageData(image, 0, 0);
  canvas.style.height = "220px";
  canvas.title = "click a night to open it";
  canvas.addEventListener("click", (e) => {
    const n = Math.floor((e.offsetX / canvas.clientWidth) * y.nights);
    open(addDays(y.firstNight, Math.max(0, Math.min(y.nights - 1, n))));
  });
  box.replaceChildren(canvas, el("div", { class: "note" }, `${y.firstNight} to ${addDays(y.firstNight, y.nights - 1)}, noon to noon downwards`));
}
