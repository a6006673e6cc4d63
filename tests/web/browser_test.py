#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The web page in headless Chromium, against Kestavo and the virtual rotor.

usage: browser_test.py KESTAVO VIRTUAL_ROTOR [--screenshot PATH]
Exits 77 (skipped) when Selenium, Chromium or its driver is missing."""
import base64, json, os, re, shutil, socket, subprocess, sys, tempfile, threading, time
import urllib.request

try:
    from selenium import webdriver
    from selenium.common.exceptions import WebDriverException
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    print("skipped: python3-selenium is not installed")
    sys.exit(77)
CHROMIUM, DRIVER = "/usr/bin/chromium", "/usr/bin/chromedriver"
if not (os.access(CHROMIUM, os.X_OK) and os.access(DRIVER, os.X_OK)):
    print("skipped: chromium or chromedriver is not installed")
    sys.exit(77)

KESTAVO, ROTOR = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
SHOT = sys.argv[sys.argv.index("--screenshot") + 1] if "--screenshot" in sys.argv else None
TMP = tempfile.mkdtemp(prefix="kestavo-web-")
ENV = dict(os.environ, XDG_CONFIG_HOME=TMP + "/config", QT_QPA_PLATFORM="offscreen")
SEEN = 0.5  # seconds from a change of state to every page showing it
notes, said, results = [], [], []  # the virtual rotor's lines, Kestavo's output, the cases


def until(what, timeout, why):
    end = time.monotonic() + timeout
    while not (got := what()):
        assert time.monotonic() < end, why
        time.sleep(0.02)
    return got


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Kestavo:
    def __init__(self, address, port, *more):
        self.base = f"http://127.0.0.1:{port}"
        self.log = tempfile.TemporaryFile("w+")
        self.proc = subprocess.Popen([KESTAVO, "--web", f"{address}:{port}", *more], cwd=TMP, env=ENV,
                                     stdout=self.log, stderr=subprocess.STDOUT)
        until(lambda: self.state() or self.proc.poll() is not None, 15, "GET /state never answered")
        assert self.proc.poll() is None, f"Kestavo ended with status {self.end()}"

    def state(self):
        try:
            with urllib.request.urlopen(self.base + "/state", timeout=1) as answer:
                return json.load(answer)
        except (OSError, ValueError):
            return {}

    def end(self):
        """Ends it as a desktop session would; its exit status. What it said goes to said."""
        if not self.log.closed:
            self.proc.terminate()
            self.proc.wait(10)
            self.log.seek(0)
            said.append(f"(exit status {self.proc.returncode})\n" + self.log.read())
            self.log.close()
        return self.proc.returncode


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=360,800"):
        options.add_argument(flag)
    # A headless window is 500 px wide at least; a phone's screen also honours the viewport meta.
    options.add_experimental_option(
        "mobileEmulation", {"deviceMetrics": {"width": 360, "height": 800, "pixelRatio": 1}})
    return webdriver.Chrome(service=Service(executable_path=DRIVER), options=options)


def shows(page, element_id, pattern, timeout=10):
    text = lambda: page.find_element(By.ID, element_id).text
    WebDriverWait(page, timeout, poll_frequency=0.02).until(
        lambda _: re.search(pattern, text()), f"#{element_id} never matched {pattern!r}")


def go(page, heading):
    field = page.find_element(By.ID, "heading")
    field.clear()
    field.send_keys(heading, Keys.ENTER)


def click_dial(page, east, south):
    """Clicks the dial at a point given in its radii from the centre."""
    box = page.execute_script("const dial = document.getElementById('dial');"
                              "dial.scrollIntoView({block: 'center'});"
                              "return dial.getBoundingClientRect().toJSON()")
    x = box["left"] + box["width"] / 2 * (1 + 0.8 * east)
    y = box["top"] + box["height"] / 2 * (1 + 0.8 * south)
    actions = ActionChains(page)
    actions.w3c_actions.pointer_action.move_to_location(int(x), int(y)).click()
    actions.perform()


def slow_reader(port):
    """A /live client that takes the handshake and then never reads."""
    raw = socket.socket()
    raw.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    raw.settimeout(5)
    raw.connect(("127.0.0.1", port))
    key = base64.b64encode(os.urandom(16)).decode()
    raw.sendall(f"GET /live HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nUpgrade: websocket\r\n"
                f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
                "Sec-WebSocket-Version: 13\r\n\r\n".encode())
    # A peek leaves the bytes unread: it only tells that the server took it on.
    assert raw.recv(12, socket.MSG_PEEK).startswith(b"HTTP/1.1 101"), "no WebSocket handshake"
    return raw


def case(name, run):
    started = time.monotonic()
    try:
        run()
    except (AssertionError, OSError, WebDriverException) as failure:
        print(f"FAIL {name}: {failure}")
        results.append(False)
        return
    print(f"ok   {name} ({time.monotonic() - started:.1f} s)")
    results.append(True)


def loads(page, kestavo):
    page.get(kestavo.base + "/")
    assert page.title == "Rotor", page.title
    shows(page, "status", r"^Bearing 0°$")
    assert page.find_element(By.ID, "heading").accessible_name == "Heading"
    width = page.execute_script("return document.documentElement.scrollWidth")
    assert width <= 360, f"{width} px wide"
    low = [b.text for b in page.find_elements(By.TAG_NAME, "button")
           if b.is_displayed() and b.rect["height"] < 44]
    assert not low, f"too small to tap: {low}"


def commanded(page, act, on_line, status):
    since = len(notes)
    act()
    until(lambda: re.search(on_line, "".join(notes[since:])), 5, f"the line never got {on_line}")
    shows(page, "status", status)


def stop(kestavo, a, b):
    go(a, "300")
    until(lambda: (kestavo.state().get("bearing") or 0) > 200, 10, "never turned")
    commanded(a, lambda: b.find_element(By.ID, "stop").click(), "stopped at", r"^Bearing \d+°$")


def seen_by_other(kestavo, sender, watcher, heading):
    go(sender, str(heading))
    until(lambda: kestavo.state().get("target") == heading, 5, "the state never changed")
    shows(watcher, "status", rf"→ {heading}°$", SEEN)


def tracked(door, pages):
    """A tracker's target at the front door shows on every page."""
    subprocess.run(["rotctl", "-m", "2", "-r", f"127.0.0.1:{door}", "set_pos", "250", "0"],
                   check=True, timeout=10, capture_output=True)
    for page in pages:
        shows(page, "status", r"→ 250°$", 5)


def unread(kestavo, port, sender, watcher):
    with slow_reader(port):
        seen_by_other(kestavo, sender, watcher, 135)


def locked(a, b, port):
    os.makedirs(f"{TMP}/config/kestavo", exist_ok=True)
    secret = os.open(f"{TMP}/config/kestavo/web-password", os.O_WRONLY | os.O_CREAT, 0o600)
    os.write(secret, b"turn-me\n")
    os.close(secret)
    kestavo = Kestavo("0.0.0.0", port)
    try:
        # Not reloaded: the pages come back by themselves and learn that it is locked.
        for page in (a, b):
            WebDriverWait(page, 12).until(lambda p: p.find_element(By.ID, "password").is_displayed())
            assert page.find_element(By.ID, "connection").text == ""
        password = a.find_element(By.ID, "password")
        assert password.accessible_name == "Password"
        password.send_keys("wrong", Keys.ENTER)
        shows(a, "answer", r"^Wrong password$")
        since = len(notes)
        go(a, "120")
        shows(a, "answer", r".", 5)  # refused, in words
        assert password.is_displayed(), "no password asked for"
        assert "to 120" not in "".join(notes[since:]) and kestavo.state()["target"] != 120
        password.send_keys("turn-me", Keys.ENTER)
        WebDriverWait(a, 5).until(lambda _: not password.is_displayed())
        commanded(b, lambda: go(a, "120"), r"to 120\b", r"→ 120°$")
    finally:
        kestavo.end()


def ends_cleanly(kestavo):
    status = kestavo.end()
    assert status == 0, f"exit status {status}"


def quiet(pages):
    logged = [entry["message"][:200] for page in pages for entry in page.get_log("browser")
              if entry["source"] != "network"]
    assert not logged, logged


def main():
    # It ends at the end of its standard input, so that is kept open.
    rotor = subprocess.Popen([ROTOR, "--port", "7", "--rate", "60"], env=ENV, text=True,
                             stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    threading.Thread(target=lambda: notes.extend(rotor.stdout), daemon=True).start()
    pages, kestavo = [], None
    try:
        until(lambda: "on port 7" in "".join(notes), 5, "no virtual rotor")
        with open(f"{TMP}/Tavimer.ini", "w") as ini:
            ini.write("7,read-back,park=200\r\n")
        port, door = free_port(), free_port()
        kestavo = Kestavo("127.0.0.1", port, "--listen", str(door))
        pages = [browser(), browser()]
        a, b = pages
        case("the page loads, fits 360 px, is labelled, taps well", lambda: loads(a, kestavo))
        b.get(kestavo.base + "/")
        for name, act, on_line, status in [
                ("GO 90 by Enter", lambda: go(a, "90"), r"from 0 to 90\b", r"^Bearing 90° → 90°$"),
                ("Park", lambda: a.find_element(By.ID, "park").click(), r"to 200\b", r"^Bearing 200°"),
                ("a click on the dial's east", lambda: click_dial(a, 1, 0), r"to 90\b", r"→ 90°$"),
                ("a click on the dial's south", lambda: click_dial(a, 0, 1), r"to 180\b", r"→ 180°$")]:
            case(f"{name} reaches the line and the page", lambda: commanded(a, act, on_line, status))
        case("Stop from the other page stops the turn", lambda: stop(kestavo, a, b))
        case("a second page sees the first's GO", lambda: seen_by_other(kestavo, a, b, 45))
        case("a tracker's target shows on both pages", lambda: tracked(door, pages))
        case("a client that stops reading slows no page", lambda: unread(kestavo, port, b, a))
        if SHOT:
            shows(b, "status", r"^Bearing 135° → 135°$")
            b.find_element(By.TAG_NAME, "main").screenshot(SHOT)
        case("Kestavo ends cleanly while pages watch", lambda: ends_cleanly(kestavo))
        case("the pages tell that Kestavo is gone", lambda: [
            shows(page, "connection", r"^Connection to Kestavo lost") for page in pages])
        case("locked: a wrong password turns nothing, the right one does", lambda: locked(a, b, port))
        # Refusals log as network errors; a blocked style or script does not.
        case("no page met a script error or the content policy", lambda: quiet(pages))
    finally:
        for page in pages:
            page.quit()
        if kestavo:
            kestavo.end()
        rotor.terminate()
        rotor.wait(5)
        shutil.rmtree(TMP)
    if not all(results):
        print("--- Kestavo said:\n" + "\n".join(said) + "--- the virtual rotor said:\n" + "".join(notes))
    print(f"{results.count(True)} passed, {results.count(False)} failed")
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
