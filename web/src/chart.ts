// SPDX-License-Identifier: GPL-3.0-or-later
// The time chart every page draws: lines against the stations' wall time, the sky's light
// shaded behind them (day clear, twilight ever darker, night darkest), the Moon's altitude
// as a thin curve on its own scale, zoom by dragging and the wheel, the reading under the
// pointer.
import uPlot from "uplot";
import { Conditions, el, Sky, wallText } from "./api";

const colours = ["#58a6ff", "#f0883e", "#3fb950", "#d2a8ff", "#ff7b72", "#e3b341", "#79c0ff", "#56d364"];

function shadeOf(sun: number): string | null {
  if (sun > -0.833) return null;
  if (sun > -6) return "rgba(40,60,110,0.35)";
  if (sun > -12) return "rgba(25,35,80,0.55)";
  if (sun > -18) return "rgba(15,20,55,0.7)";
  return "rgba(5,8,25,0.85)";
}

export interface ChartOptions {
  names: string[];
  unit: string;          // the y axis' label
  invert: boolean;       // magnitudes: brighter up
  sky: Sky | null;
  from: number; to: number;
  onReading: (text: string) => void;
  conditions?: Conditions; // drawn as a strip under the chart, with its legend
}

// The sky conditions' colours and their words in the legend, by the API's names.
export const conditionLooks: Record<string, [string, string]> = {
  day: ["#e3b341", "day"], civil: ["#bf8700", "civil twilight"],
  nautical: ["#8957e5", "nautical twilight"], astronomical: ["#4c2889", "astronomical twilight"],
  moonlit: ["#c9d1d9", "moonlit"], clear: ["#2ea043", "clear"], cloudy: ["#db6d28", "cloudy"],
  unknown: ["#6e7681", "unknown"], no_line: ["#161b22", "no line"],
};

// The strip: one bar a minute, placed by the chart's time axis, so it follows the zoom.
function drawStrip(canvas: HTMLCanvasElement, u: uPlot, c: Conditions) {
  const ratio = window.devicePixelRatio || 1;
  const width = u.over.clientWidth, height = 14;
  canvas.style.marginLeft = u.over.offsetLeft + "px";
  canvas.style.width = width + "px";
  canvas.style.height = height + "px";
  canvas.width = Math.round(width * ratio);
  canvas.height = Math.round(height * ratio);
  const ctx = canvas.getContext("2d")!;
  ctx.clearRect(0, 0, canvas.width, canvas.height);
  for (let i = 0; i < c.t.length; i++) {
    const x0 = u.valToPos(c.t[i], "x") * ratio, x1 = u.valToPos(c.t[i] + 60, "x") * ratio;
    if (x1 < 0 || x0 > canvas.width) continue;
    ctx.fillStyle = (conditionLooks[c.names[c.code[i]]] || ["#000"])[0];
    ctx.fillRect(x0, 0, Math.max(1, x1 - x0 + 0.5), canvas.height);
  }
}

function legendOf(c: Conditions): HTMLElement {
  const shown = new Set(c.code.map((k) => c.names[k]));
  return el("div", { class: "legend", id: "conditions-legend" },
    ...c.names.filter((n) => shown.has(n)).map((n) => {
      const [colour, words] = conditionLooks[n] || ["#000", n];
      return el("span", { "data-condition": n }, el("i", { style: `background:${colour}` }), words);
    }));
}

// The minute of the conditions that holds time t (-1 for none).
function minuteAt(t: number[], at: number): number {
  let lo = 0, hi = t.length - 1;
  if (hi < 0 || at < t[0] || at >= t[hi] + 60) return -1;
  while (lo < hi) {
    const mid = (lo + hi + 1) >> 1;
    if (t[mid] <= at) lo = mid; else hi = mid - 1;
  }
  return at < t[lo] + 60 ? lo : -1;
}

export function drawChart(target: HTMLElement, data: uPlot.AlignedData, o: ChartOptions): uPlot {
  const sky = o.sky && o.sky.position ? o.sky : null;
  const width = () => Math.max(280, target.clientWidth);
  const height = () => Math.max(260, Math.min(520, Math.round(window.innerHeight * 0.55)));
  const strip = o.conditions ? el("canvas", { id: "conditions" }) : null;
  const series: uPlot.Series[] = [{ value: (_u, v) => (v == null ? "-" : wallText(v)) }];
  o.names.forEach((name, i) => series.push({
    label: name, stroke: colours[i % colours.length], width: 1, spanGaps: false,
    points: { show: false }, value: (_u, v) => (v == null ? "-" : o.invert ? v.toFixed(2) : String(v)),
  }));
  const opts: uPlot.Options = {
    width: width(), height: height(),
    series,
    scales: { x: { time: true, min: o.from, max: o.to }, y: { dir: o.invert ? -1 : 1 } },
    axes: [
      { stroke: "#8b949e", grid: { stroke: "#30363d" }, ticks: { stroke: "#30363d" } },
      { stroke: "#8b949e", grid: { stroke: "#30363d" }, ticks: { stroke: "#30363d" }, label: o.unit, size: 60 },
    ],
    cursor: { drag: { x: true, y: false, setScale: true } },
    tzDate: (ts) => uPlot.tzDate(new Date(ts * 1000), "Etc/UTC"),
    legend: { live: true },
    hooks: {
      drawClear: [(u) => {
        if (!sky || !sky.t || !sky.sun) return;
        const ctx = u.ctx;
        const t = sky.t, sun = sky.sun;
        for (let i = 0; i + 1 < t.length; i++) {
          const shade = shadeOf(sun[i]);
          if (!shade) continue;
          const x0 = u.valToPos(t[i], "x", true), x1 = u.valToPos(t[i + 1], "x", true);
          ctx.fillStyle = shade;
          ctx.fillRect(x0, u.bbox.top, x1 - x0 + 0.5, u.bbox.height);
        }
      }],
      draw: [(u) => {
        if (o.conditions && strip) drawStrip(strip, u, o.conditions);
        if (!sky || !sky.t || !sky.moon) return;
        const ctx = u.ctx;
        ctx.save();
        ctx.strokeStyle = "rgba(230,230,200,0.7)";
        ctx.setLineDash([4, 4]);
        ctx.lineWidth = 1;
        ctx.beginPath();
        const top = u.bbox.top, h = u.bbox.height;
        sky.t.forEach((t, i) => {
          const x = u.valToPos(t, "x", true);
          const y = top + h * (0.5 - sky.moon![i] / 180); // -90..90 over the panel
          i ? ctx.lineTo(x, y) : ctx.moveTo(x, y);
        });
        ctx.stroke();
        ctx.restore();
      }],
      setCursor: [(u) => {
        const i = u.cursor.idx;
        if (i == null) return;
        const at = u.data[0][i] as number;
        const parts = [wallText(at)];
        o.names.forEach((name, s) => {
          const v = u.data[s + 1][i];
          parts.push(`${name}: ${v == null ? "-" : o.invert ? (v as number).toFixed(2) : v} ${o.unit}`);
        });
        if (o.conditions) {
          const c = o.conditions;
          const m = minuteAt(c.t, at);
          if (m >= 0) parts.push((conditionLooks[c.names[c.code[m]]] || ["", c.names[c.code[m]]])[1]);
        }
        o.onReading(parts.join(" · "));
      }],
    },
  };
  const chart = new uPlot(opts, data, target);
  if (strip && o.conditions) {
    // Under the plot, above the legend uPlot puts below it.
    const legend = target.querySelector(".u-legend");
    const box = el("div", { class: "conditions" }, strip, legendOf(o.conditions));
    legend ? legend.before(box) : target.append(box);
    drawStrip(strip, chart, o.conditions);
  }
  // The wheel zooms the time axis around the pointer.
  chart.over.addEventListener("wheel", (e) => {
    e.preventDefault();
    const { min, max } = chart.scales.x;
    if (min == null || max == null) return;
    const at = chart.posToVal(e.offsetX, "x");
    const factor = e.deltaY < 0 ? 0.75 : 1 / 0.75;
    const lo = Math.max(o.from, at - (at - min) * factor);
    const hi = Math.min(o.to, at + (max - at) * factor);
    if (hi - lo >= 60) chart.setScale("x", { min: lo, max: hi });
  }, { passive: false });
  window.addEventListener("resize", () => chart.setSize({ width: width(), height: height() }));
  return chart;
}
