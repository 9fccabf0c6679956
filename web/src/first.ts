// SPDX-License-Identifier: GPL-3.0-or-later
// What a page asks for first, asked as soon as the page starts: a small script in the
// page's head sends these requests while the pages' script is still loading, and get()
// takes their answers when the page asks for the same addresses.

declare global { interface Window { nocturoFirst?: Record<string, Promise<Response>> } }

// The addresses a station's page needs for its night: its days, and with the night named
// in the address its lines and its sky.
export function firstRequests(params: URLSearchParams): string[] {
  if (params.get("view") !== "station") return [];
  const station = encodeURIComponent(params.get("station") || "");
  const night = params.get("night");
  const paths = ["/api/days?station=" + station];
  if (night) paths.push(...nightRequests(station, night));
  return paths;
}

// A night's lines and sky, for a station already encoded for an address.
export function nightRequests(station: string, night: string): string[] {
  return [`/api/span?stations=${station}&date=${night}&kind=night`,
    `/api/sky?station=${station}&date=${night}&kind=night`];
}

// The answer sent early for `path`, once; none when it was not sent.
export function takeFirst(path: string): Promise<Response> | undefined {
  const first = window.nocturoFirst;
  if (!first || !(path in first)) return undefined;
  const answer = first[path];
  delete first[path];
  return answer;
}

export function askFirst(): void {
  const first: Record<string, Promise<Response>> = {};
  for (const path of firstRequests(new URLSearchParams(location.search)))
    first[path] = fetch(path, { headers: { Accept: "application/json" } });
  window.nocturoFirst = first;
}
