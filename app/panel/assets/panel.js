"use strict";
// The panel page: one card per device, kept current by the server's events.
(() => {
  const token = new URLSearchParams(location.search).get("token") || "";
  const stateNames = { 0: "Off", 1: "On", 2: "Standby", 3: "Operate", 4: "Fault" };
  const cards = new Map();
  // Receipt times of events, for measuring how fast the page learns of a change.
  window.marlinEvents = [];

  async function api(method, path, body) {
    const init = { method, headers: { "X-Marlin-Token": token } };
    if (body !== undefined) {
      init.headers["Content-Type"] = "application/json";
      init.body = JSON.stringify(body);
    }
    const response = await fetch(path, init);
    const text = await response.text();
    let json = null;
    try { json = JSON.parse(text); } catch (e) { json = { message: text }; }
    return { status: response.status, json };
  }

  function card(name) {
    let c = cards.get(name);
    if (c) return c;
    const node = document.getElementById("device-card").content.firstElementChild.cloneNode(true);
    node.dataset.device = name;
    const q = (s) => node.querySelector(s);
    c = { node, q, view: null };
    node.querySelectorAll("button[data-action]").forEach((b) =>
      b.addEventListener("click", () => act(name, b.dataset.action)));
    node.querySelectorAll("button[data-state]").forEach((b) =>
      b.addEventListener("click", () => act(name, "state", {
        state: Number(b.dataset.state),
        bandpath: Number(q(".in-band").value),
        outputmode: Number(q(".in-mode").value),
        operatingclass: Number(q(".in-class").value),
      })));
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

  function render(v) {
    const c = card(v.name);
    c.view = v;
    c.q(".name").textContent = v.name;
    c.q(".description").textContent = v.description;
    c.q(".route").textContent = v.route;
    const conn = c.q(".connected");
    conn.textContent = v.connected ? "connected" : "not connected";
    conn.className = "pill connected " + (v.connected ? "on" : "off");
    const busy = c.q(".busy");
    busy.textContent = v.busy ? "running: " + v.action : "idle";
    busy.className = "pill busy " + (v.busy ? "running" : "off");
    c.q(".identification").textContent = v.identification || "—";
    c.q(".model").textContent = v.model || "—";
    c.q(".firmware").textContent = v.connected ? String(v.firmware) : "—";
    const state = c.q(".state");
    state.textContent = v.state === null ? "—" : `${stateNames[v.state] || "?"} (${v.state})`;
    state.className = "state" + (v.state === 3 ? " operate" : "");
    c.q(".bandpath").textContent = v.connected ? String(v.bandPath) : "—";
    const err = c.q(".lasterror");
    err.textContent = v.lastError ? `${v.lastError.number}: ${v.lastError.description}` : "none";
    err.className = "lasterror" + (v.lastError ? " has" : "");
    showWait(c, v.busy ? v.wait : null);
    const w = v.window;
    c.q(".window").hidden = !w.visible;
    c.q(".window-caption").textContent = w.caption;
    c.q(".indicator-label").textContent = w.label;
    c.q(".led").style.background = colour(w.colour);
    c.q(".stop").textContent = w.stop || "STOP";
    c.node.querySelectorAll(".actions button, .state-buttons button").forEach((b) => {
      b.disabled = v.busy;
    });
  }

  async function act(name, action, body) {
    const c = card(name);
    const out = c.q(".outcome");
    out.className = "outcome";
    out.textContent = action === "stop" ? "STOP sent" : action + " …";
    const { status, json } = await api("POST", `/api/devices/${encodeURIComponent(name)}/${action}`, body);
    if (action === "stop") return;
    if (status !== 200) {
      out.className = "outcome bad";
      out.textContent = `${action}: refused (${status}): ${json.message || ""}`;
    } else if (json.error) {
      out.className = "outcome bad";
      out.textContent = `${action}: error ${json.error.number}: ${json.error.description}`;
    } else if (action === "errors") {
      out.textContent = json.errors.length ? json.errors.join("\n") : "error queue empty";
    } else {
      out.textContent = `${action}: ok` + (json.state !== undefined ? `, state ${stateNames[json.state]}` : "");
    }
  }

  let timelineQueued = false;
  function refreshTimeline() {
    if (timelineQueued) return;
    timelineQueued = true;
    setTimeout(async () => {
      timelineQueued = false;
      const response = await fetch("/api/timeline", { headers: { "X-Marlin-Token": token } });
      if (response.ok) document.getElementById("timeline").innerHTML = await response.text();
    }, 300);
  }

  async function loadDevices() {
    const { status, json } = await api("GET", "/api/devices");
    if (status === 200) json.forEach(render);
  }

  function listen() {
    const stream = new EventSource(`/api/events?token=${encodeURIComponent(token)}`);
    const pill = document.getElementById("stream");
    const note = (type, data) => {
      window.marlinEvents.push({ at: Date.now(), type, data });
      if (window.marlinEvents.length > 500) window.marlinEvents.shift();
    };
    stream.addEventListener("hello", () => {
      pill.textContent = "events: live";
      pill.className = "pill on";
      loadDevices();
    });
    stream.addEventListener("device", (e) => { const v = JSON.parse(e.data); note("device", v); render(v); });
    stream.addEventListener("wait", (e) => {
      const w = JSON.parse(e.data);
      note("wait", w);
      const c = cards.get(w.device);
      if (c && c.view && c.view.busy) showWait(c, w.phase === "ended" ? null : w.wait);
    });
    stream.addEventListener("outcome", (e) => { note("outcome", JSON.parse(e.data)); refreshTimeline(); });
    stream.addEventListener("lost", loadDevices);
    stream.onerror = () => { pill.textContent = "events: reconnecting"; pill.className = "pill bad"; };
  }

  loadDevices().then(refreshTimeline);
  listen();
})();
