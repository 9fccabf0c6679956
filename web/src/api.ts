// SPDX-License-Identifier: GPL-3.0-or-later
// The service's JSON API, as the pages use it.
import { takeFirst } from "./first";

export interface Station {
  name: string; state: string; cells: string[]; lastReading: number | null;
  latitude: number | null; longitude: number | null; zeroPoint: number | null; timezone: string;
}
export interface Stations { source: string; now: number; header: string[]; stations: Station[]; }
export interface Day { date: string; lines: number; first: number; last: number; }
export interface SpanStation {
  name: string; zeroPoint: number | null; problems: string[]; resolution: "second" | "minute";
  lines: number; t0?: number; dt?: number[]; t?: number[]; count: (number | null)[];
  temperature?: number[]; range?: number[]; failed?: number[];
  conditions?: Conditions;
}
// A night's sky condition each minute: its start (wall clock) and an index into names.
export interface Conditions { names: string[]; t: number[]; code: number[]; }
export interface Span { kind: string; date: string; from: number; to: number; stations: SpanStation[]; }
export interface Sky {
  position: boolean; moonIlluminated?: number; events?: { kind: string; wall: number }[];
  t?: number[]; sun?: number[]; moon?: number[];
}
export interface Year { firstNight: string; nights: number; step: number; rows: number; median: (number | null)[]; }
export interface NightFigure {
  night: string; darkMinutes: number; darkMoonlessMinutes: number; measuredMinutes: number;
  medianCount: number | null; p10Count: number | null; p90Count: number | null;
  medianMagnitude: number | null; darkestMagnitude: number | null;
  secondsWithoutLine: number; failedSeconds: number;
}

export async function get<T>(path: string): Promise<T> {
  const answer = await (takeFirst(path) || fetch(path, { headers: { Accept: "application/json" } }));
  const body = await answer.json();
  if (!answer.ok) throw new Error(body.error || answer.statusText);
  return body as T;
}

// Times are the stations' own wall clock, carried as seconds since 1970 of that clock.
export function wallText(t: number, withSeconds = true): string {
  const s = new Date(t * 1000).toISOString().replace("T", " ");
  return withSeconds ? s.slice(0, 19) : s.slice(0, 16);
}
export function dateOf(t: number): string { return new Date(t * 1000).toISOString().slice(0, 10); }
export function addDays(date: string, days: number): string {
  const d = new Date(date + "T00:00:00Z");
  d.setUTCDate(d.getUTCDate() + days);
  return d.toISOString().slice(0, 10);
}
// The night (its evening's date) that holds a wall time: nights run from noon to noon.
export function nightOf(t: number): string { return dateOf(t - 43200); }

// The seconds of a span as columns: times and counts, a failed second a gap.
export function seriesOf(s: SpanStation): { t: number[]; count: (number | null)[] } {
  if (s.resolution === "minute") return { t: s.t || [], count: s.count };
  const t: number[] = new Array(s.lines);
  const count: (number | null)[] = new Array(s.lines);
  let time = s.t0 || 0;
  for (let i = 0; i < s.lines; i++) {
    time += s.dt![i];
    t[i] = time;
    const failed = s.range![i] === 0 || s.temperature![i] <= -2731;
    count[i] = failed ? null : s.count[i];
  }
  return { t, count };
}

export function magnitude(count: number | null, zeroPoint: number | null): number | null {
  if (count === null || zeroPoint === null || count <= 0) return null;
  return zeroPoint - 2.5 * Math.log10(count);
}

export function stateClass(state: string): string {
  if (state.includes("STALE")) return "state-stale";
  if (state === "OFFLINE") return "state-offline";
  if (state === "online") return "state-online";
  return "state-unknown";
}

export function el<K extends keyof HTMLElementTagNameMap>(tag: K, attrs: Record<string, string> = {},
  ...children: (Node | string)[]): HTMLElementTagNameMap[K] {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs)) e.setAttribute(k, v);
  for (const c of children) e.append(c);
  return e;
}
