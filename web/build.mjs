// SPDX-License-Identifier: GPL-3.0-or-later
// Builds the pages into OUT (default dist/): two bundled, minified scripts, the styles, the
// page and the world's outline, so nocturo-web serves everything itself.
//
//   node build.mjs [OUT [NODE_MODULES]]
//
// NODE_MODULES is where `npm ci` put the packages (the build tree's, so the source tree
// stays clean); default node_modules beside this file.
import { copyFileSync, mkdirSync } from "node:fs";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath, pathToFileURL } from "node:url";

const here = dirname(fileURLToPath(import.meta.url));
const out = resolve(process.argv[2] || join(here, "dist"));
const modules = resolve(process.argv[3] || join(here, "node_modules"));
const esbuild = await import(pathToFileURL(join(modules, "esbuild", "lib", "main.js")).href);
mkdirSync(out, { recursive: true });
// The pages' script, and the small one the page's head loads first to send its first
// requests while the other is still loading.
for (const [entry, file] of [["main.ts", "app.js"], ["early.ts", "early.js"]]) {
  await esbuild.build({
    entryPoints: [join(here, "src", entry)],
    bundle: true,
    minify: true,
    sourcemap: false,
    target: ["es2020"],
    outfile: join(out, file),
    logLevel: "warning",
    nodePaths: [modules],
  });
}
copyFileSync(join(modules, "uplot", "dist", "uPlot.min.css"), join(out, "uplot.css"));
copyFileSync(join(modules, "world-atlas", "land-110m.json"), join(out, "land-110m.json"));
copyFileSync(join(here, "src", "index.html"), join(out, "index.html"));
copyFileSync(join(here, "src", "style.css"), join(out, "style.css"));
