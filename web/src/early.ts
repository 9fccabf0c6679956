// SPDX-License-Identifier: GPL-3.0-or-later
// Loaded first in the page's head: the page's first requests go out at once.
import { askFirst } from "./first";

askFirst();
