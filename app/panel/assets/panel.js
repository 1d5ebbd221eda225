"use strict";
// The panel page: an overview row and a card per device, kept current by the server's events.
// Everything it shows of an amplifier is what the panel read back from it.
(() => {
  const token = new URLSearchParams(location.search).get("token") || "";
  const stateNames = { 0: "Off", 1: "On", 2: "Standby", 3: "Operate", 4: "Fault" };
  const kMostLogged = 50;
  const cards = new Map();
  // Receipt times of events, for measuring how fast the page learns of a change.
  window.marlinEvents = [];
  window.marlinEventCount = 0;
  let gone = false;   // the panel does not answer
  let stale = false;  // the page's token is of an earlier run of the panel

  const banner = document.getElementById("banner");
  function showBanner(text, bad) {
    banner.hidden = !text;
    banner.textContent = text || "";
    banner.className = "banner" + (bad ? " bad" : "");
  }

  function time(iso) {
    if (!iso) return "";
    const at = new Date(iso);
    return isNaN(at) ? iso : at.toLocaleTimeString([], { hour12: false });
  }

  function setReachable(reachable) {
    if (stale) return;
    if (reachable === !gone) return;
    gone = !reachable;
    document.body.classList.toggle("gone", gone);
    showBanner(gone ? "Panel not reachable: what the page shows may be out of date. It tries again every second." : "", true);
    cards.forEach((c) => c.view && render(c.view));
  }

  function tokenStale() {
    if (stale) return;
    stale = true;
    document.body.classList.add("gone");
    showBanner("This page belongs to an earlier run of the panel, whose token is no longer valid. " +
      "Open the address the panel printed when it started (marlinctl panel: http://…/?token=…).", true);
    cards.forEach((c) => c.view && render(c.view));
  }

  async function api(method, path, body) {
    const init = { method, headers: { "X-Marlin-Token": token } };
    if (body !== undefined) {
      init.headers["Content-Type"] = "application/json";
      init.body = JSON.stringify(body);
    }
    let response;
    try {
      response = await fetch(path, init);
    } catch (e) {
      setReachable(false);
      return { status: 0, json: { message: "the panel is not reachable" } };
    }
    const text = await response.text();
    let json = null;
    try { json = JSON.parse(text); } catch (e) { json = { message: text }; }
    if (response.status === 401) tokenStale();
    return { status: response.status, json };
  }

  function stateOf(v) {
    if (!v.connected) return { text: "—", cls: "" };
    if (v.state === null) return { text: "no answer", cls: "unknown" };
    const cls = v.state === 3 ? "operate" : v.state === 4 ? "fault" : "";
    return { text: `${stateNames[v.state] || "?"} (${v.state})`, cls };
  }

  function bandOf(v) {
    if (!v.connected) return "—";
    if (v.bandPath === null) return "not read";
    return v.bandPath === 0 ? "none (0)" : String(v.bandPath);
  }

  function linkOf(v) {
    if (v.connected) return { text: "connected", cls: "on" };
    return v.linkLost ? { text: "link lost", cls: "lost" } : { text: "not connected", cls: "" };
  }

  function summary(o) {
    if (o.error) return `error ${o.error.number}: ${o.error.text}`;
    let text = "ok";
    if (o.note) text += ` (${o.note})`;
    if (o.errors) text += o.errors.length ? `, ${o.errors.length} entries` : ", error queue empty";
    if (o.state !== null && o.state !== undefined) text += `, reads back ${stateNames[o.state] || o.state}`;
    if (o.bandPath) text += `, band path ${o.bandPath}`;
    if (!o.connected && o.action !== "disconnect") text += ", not connected";
    return text;
  }

  function logLine(c, o) {
    const li = document.createElement("li");
    li.textContent = `${time(o.at)} ${o.action}: ${summary(o)}`;
    if (o.error) li.className = "bad";
    const list = c.q(".log-lines");
    list.appendChild(li);
    while (list.children.length > kMostLogged) list.firstChild.remove();
  }

  async function loadLog(name) {
    const c = cards.get(name);
    const { status, json } = await api("GET", `/api/devices/${encodeURIComponent(name)}/log`);
    if (status !== 200) return;
    c.q(".log-lines").replaceChildren();
    json.forEach((o) => logLine(c, o));
  }

  function row(name) {
    const node = document.getElementById("overview-row").content.firstElementChild.cloneNode(true);
    const link = node.querySelector(".o-name a");
    link.textContent = name;
    link.href = "#device-" + encodeURIComponent(name);
    node.dataset.device = name;
    document.querySelector("#overview tbody").appendChild(node);
    return node;
  }

  function switchBody(c, state) {
    const band = c.q(".in-band").value.trim();
    const body = {
      state,
      outputmode: Number(c.q(".in-mode").value || 0),
      operatingclass: Number(c.q(".in-class").value || 0),
    };
    if (band !== "") body.bandpath = Number(band);
    return body;
  }

  function card(name) {
    let c = cards.get(name);
    if (c) return c;
    const node = document.getElementById("device-card").content.firstElementChild.cloneNode(true);
    node.dataset.device = name;
    node.id = "device-" + encodeURIComponent(name);
    const q = (s) => node.querySelector(s);
    c = { node, q, view: null, inputsKey: null, row: row(name) };
    node.querySelectorAll("button[data-action]").forEach((b) =>
      b.addEventListener("click", () => act(name, b.dataset.action)));
    node.querySelectorAll("button[data-state]").forEach((b) =>
      b.addEventListener("click", () => {
        const state = Number(b.dataset.state);
        if (state === 3 && q(".in-band").value.trim() === "") {
          q(".outcome").className = "outcome bad";
          q(".outcome").textContent = "Operate needs a band path: enter one first.";
          return;
        }
        act(name, "state", switchBody(c, state));
      }));
    q(".log").addEventListener("toggle", () => { if (q(".log").open) loadLog(name); });
    document.getElementById("devices").appendChild(node);
    cards.set(name, c);
    return c;
  }

  function colour(bgr) {
    const r = bgr & 255, g = (bgr >> 8) & 255, b = (bgr >> 16) & 255;
    return `rgb(${r}, ${g}, ${b})`;
  }

  function seconds(ms) { return (ms / 1000).toFixed(1) + " s"; }

  function showWait(c, wait) {
    const box = c.q(".wait");
    box.hidden = !wait;
    if (!wait) return;
    c.q(".wait-what").textContent = wait.what;
    const limit = wait.limitMs;
    c.q(".wait-time").textContent = limit === null
      ? seconds(wait.elapsedMs) : `${seconds(wait.elapsedMs)} of ${seconds(limit)}`;
    const share = limit ? Math.min(100, (100 * wait.elapsedMs) / limit) : 100;
    c.q(".bar-fill").style.width = share + "%";
  }

  function showAlarm(c, v) {
    const box = c.q(".alarm");
    let what = "", todo = "", warn = false;
    if (v.connected && v.state === 4) {
      what = "FAULT" + (v.fault ? ": " + v.fault : "");
      todo = "What to do: Reset fault, then check the state read back.";
    } else if (v.linkLost) {
      what = "Link lost: the connection check did not reach the amplifier.";
      todo = "What to do: check its power and cable, then Connect.";
      warn = true;
    } else if (v.connected && v.state === null && !v.busy) {
      what = "The amplifier did not answer the state query.";
      todo = "What to do: Read state again, or Connect.";
      warn = true;
    }
    box.hidden = !what;
    box.className = "alarm" + (warn ? " warn" : "");
    c.q(".alarm-what").textContent = what;
    c.q(".alarm-todo").textContent = todo;
    c.node.classList.toggle("fault", v.connected && v.state === 4);
  }

  function showInputs(c, v) {
    // Set from the panel only when its values changed, and never under the operator's cursor.
    const key = JSON.stringify(v.inputs);
    if (key === c.inputsKey) return;
    c.inputsKey = key;
    const set = (selector, value) => {
      const input = c.q(selector);
      if (document.activeElement !== input) input.value = value === null ? "" : String(value);
    };
    set(".in-band", v.inputs.bandpath);
    set(".in-mode", v.inputs.outputmode);
    set(".in-class", v.inputs.operatingclass);
  }

  function render(v) {
    const c = card(v.name);
    c.view = v;
    c.q(".name").textContent = v.name;
    c.q(".description").textContent = v.description;
    c.q(".route").textContent = v.route;
    const link = linkOf(v);
    const conn = c.q(".connected");
    conn.textContent = link.text;
    conn.className = "pill connected " + (v.connected ? "on" : v.linkLost ? "bad" : "off");
    const busy = c.q(".busy");
    busy.textContent = v.busy ? "running: " + (v.action || "queued") : "idle";
    busy.className = "pill busy " + (v.busy ? "running" : "off");
    c.q(".identification").textContent = v.identification || "—";
    c.q(".model").textContent = v.model || "—";
    c.q(".firmware").textContent = v.connected ? String(v.firmware) : "—";
    const state = stateOf(v);
    c.q(".state").textContent = state.text;
    c.q(".state").className = "state " + state.cls;
    const rf = c.q(".rf");
    const rfOn = v.connected && v.state === 3;
    const rfOff = v.connected && v.state !== null && v.state < 3;
    rf.textContent = rfOn ? "RF on" : rfOff ? "RF off" : "";
    rf.className = "rf pill " + (rfOn ? "rf-on" : "off");
    c.q(".bandpath").textContent = bandOf(v);
    c.q(".readat").textContent = v.readAt ? time(v.readAt) : "—";
    const err = c.q(".lasterror");
    const e = v.lastError;
    err.textContent = e ? `${e.number}: ${e.text} (${time(e.at)})` : "none";
    err.className = "lasterror" + (e ? " has" : "");
    c.q(".chain").hidden = !e || e.description === e.text;
    c.q(".chain-text").textContent = e ? e.description : "";
    showAlarm(c, v);
    showInputs(c, v);
    showWait(c, v.busy ? v.wait : null);
    const w = v.window;
    c.q(".window").hidden = !w.visible;
    c.q(".window-caption").textContent = w.caption;
    c.q(".indicator-label").textContent = w.label;
    c.q(".led").style.background = colour(w.colour);
    c.q(".stop").textContent = w.stop || "STOP";
    const off = gone || stale;
    c.node.querySelectorAll(".actions button, .state-buttons button").forEach((b) => {
      b.disabled = off || v.busy || (b.hasAttribute("data-needs-link") && !v.connected);
    });
    c.q(".stop").disabled = off;

    const r = c.row;
    r.querySelector(".lamp").className = "lamp " + link.cls;
    r.querySelector(".o-link").textContent = link.text;
    r.querySelector(".o-state").textContent = state.text + (rfOn ? " · RF on" : "");
    r.querySelector(".o-state").className = "o-state state " + state.cls;
    r.querySelector(".o-band").textContent = bandOf(v);
    r.querySelector(".o-busy").textContent = v.busy ? "running: " + (v.action || "queued") : "idle";
  }

  async function act(name, action, body) {
    const c = card(name);
    const out = c.q(".outcome");
    out.className = "outcome";
    out.textContent = action === "stop" ? "STOP sent" : action + " …";
    const { status, json } = await api("POST", `/api/devices/${encodeURIComponent(name)}/${action}`, body);
    if (action === "stop") {
      out.textContent = json.note || json.message || "";
      return;
    }
    if (status !== 200) {
      out.className = "outcome bad";
      out.textContent = `${action}: refused (${status || "no answer"}): ${json.message || json.error || ""}`;
    } else if (json.error) {
      out.className = "outcome bad";
      out.textContent = `${action} failed at ${time(json.at)}: error ${json.error.number}, see Last error`;
    } else if (action === "errors") {
      const lines = json.errors.length ? json.errors.slice() : ["error queue empty"];
      if (json.repeats) lines.push("The last entry repeats: the fault is latched. What to do: Reset fault.");
      if (json.more) lines.push("More entries wait: press Read errors again.");
      out.textContent = lines.join("\n");
    } else {
      out.textContent = `${action} at ${time(json.at)}: ${summary(json)}`;
    }
  }

  async function allRfOff() {
    showBanner("All RF off: switching every amplifier with RF on to Standby …", false);
    const { status, json } = await api("POST", "/api/rf-off");
    if (status !== 200) {
      showBanner(`All RF off: refused (${status || "no answer"}): ${json.message || ""}`, true);
      return;
    }
    const lines = json.results.map((r) => `${r.device}: ${summary(r)}`);
    showBanner("All RF off:\n" + lines.join("\n"), json.results.some((r) => r.error));
  }

  let timelineQueued = false;
  function refreshTimeline() {
    if (timelineQueued) return;
    timelineQueued = true;
    setTimeout(async () => {
      timelineQueued = false;
      try {
        const response = await fetch("/api/timeline", { headers: { "X-Marlin-Token": token } });
        // The page takes the picture's rules from /timeline.css; its own <style> would only be
        // refused by the page's policy, with a console error.
        const svg = (await response.text()).replace(/<style[\s\S]*?<\/style>/, "");
        if (response.ok) document.getElementById("timeline").innerHTML = svg;
      } catch (e) { /* the event stream tells whether the panel is gone */ }
    }, 300);
  }

  async function loadDevices() {
    const { status, json } = await api("GET", "/api/devices");
    if (status !== 200) return;
    json.forEach(render);
    // When every device was first drawn, in ms from the start of navigation.
    if (window.marlinListedAt === undefined) window.marlinListedAt = performance.now();
  }

  function listen() {
    if (stale) return;
    const pill = document.getElementById("stream");
    const note = (type, data) => {
      window.marlinEvents.push({ seq: ++window.marlinEventCount, at: Date.now(), type, data });
      if (window.marlinEvents.length > 500) window.marlinEvents.shift();
    };
    const stream = new EventSource(`/api/events?token=${encodeURIComponent(token)}`);
    stream.addEventListener("hello", () => {
      pill.textContent = "events: live";
      pill.className = "pill on";
      setReachable(true);
      loadDevices();
    });
    stream.addEventListener("device", (e) => { const v = JSON.parse(e.data); note("device", v); render(v); });
    stream.addEventListener("wait", (e) => {
      const w = JSON.parse(e.data);
      note("wait", w);
      const c = cards.get(w.device);
      if (c && c.view && c.view.busy) showWait(c, w.phase === "ended" ? null : w.wait);
    });
    stream.addEventListener("outcome", (e) => {
      const o = JSON.parse(e.data);
      note("outcome", o);
      const c = cards.get(o.device);
      if (c && c.q(".log").open) logLine(c, o);
      refreshTimeline();
    });
    stream.addEventListener("lost", loadDevices);
    stream.onerror = async () => {
      pill.textContent = "events: reconnecting";
      pill.className = "pill bad";
      // Whether the panel is gone, or answers but no longer knows this page's token.
      await api("GET", "/api/devices");
      if (stream.readyState === EventSource.CLOSED) setTimeout(listen, 1000);
    };
  }

  document.getElementById("rf-off").addEventListener("click", allRfOff);
  loadDevices().then(refreshTimeline);
  listen();
})();
