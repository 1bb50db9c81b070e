package com.brenlow.apps.etk.viewer;

import com.sun.net.httpserver.HttpExchange;
import com.sun.net.httpserver.HttpServer;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.URLDecoder;
import java.net.URLEncoder;
import java.nio.charset.StandardCharsets;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.concurrent.ConcurrentSkipListMap;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.function.IntConsumer;

/**
 * The catalogue web application: every page lives below "/" + context on 127.0.0.1:port.
 * "/app" is the launcher's start URL: 503 until the start delay has passed, then a redirect to
 * the start page that keeps the query. "/exit?code=N" answers and then ends the process with N.
 * "/params" shows what the application received and how often each path was requested (only a
 * browser asks for the style sheet, so that count tells that a page was really shown).
 */
final class CatalogueServer {
    static final String TITLE = "Demo Parts Catalogue";

    private final LaunchArguments args;
    private final DemoCatalogue catalogue = new DemoCatalogue();
    private final ProjectFile project;
    private final String base;            // "/" + context
    private final long readyAtNanos;      // /app answers 503 before this
    private final IntConsumer exit;       // ends the process
    private volatile String lastAppQuery = "";
    private final Map<String, AtomicInteger> requestCounts = new ConcurrentSkipListMap<>();  // by path
    private HttpServer server;

    CatalogueServer(LaunchArguments args, String context, long startDelayMs, IntConsumer exit) {
        this.args = args;
        this.project = ProjectFile.read(args.value(LaunchArguments.OPEN_CONFIG));
        this.base = "/" + context;
        this.readyAtNanos = System.nanoTime() + Math.max(0, startDelayMs) * 1_000_000L;
        this.exit = exit;
    }

    void start(int port) throws IOException {
        // Without no-delay every answer waits ~40 ms for Nagle's algorithm; must be set before
        // the server is created.
        System.setProperty("sun.net.httpserver.nodelay", "true");
        server = HttpServer.create(new InetSocketAddress(InetAddress.getLoopbackAddress(), port), 50);
        server.createContext(base, this::handle);
        ExecutorService pool = Executors.newFixedThreadPool(4, r -> {
            Thread t = new Thread(r, "http-worker");
            t.setDaemon(true);
            return t;
        });
        server.setExecutor(pool);
        server.start();
    }

    private void handle(HttpExchange ex) throws IOException {
        try {
            String path = ex.getRequestURI().getRawPath().substring(base.length());
            Map<String, String> query = parseQuery(ex.getRequestURI().getRawQuery());
            requestCounts.computeIfAbsent(path, p -> new AtomicInteger()).incrementAndGet();
            switch (path) {
                case "", "/" -> redirect(ex, base + "/start");
                case "/app" -> app(ex);
                case "/start" -> html(ex, 200, startPage(query));
                case "/assembly" -> assemblyPage(ex, query.get("id"));
                case "/drawing.svg" -> drawing(ex, query.get("id"));
                case "/part" -> partPage(ex, query.get("no"));
                case "/links" -> html(ex, 200, linksPage());
                case "/scripttitle" -> html(ex, 200, scriptTitlePage());
                case "/params" -> html(ex, 200, paramsPage(ex.getRequestURI().getRawQuery()));
                case "/exit" -> exitRequest(ex, query.get("code"));
                case "/catalogue.css" -> resource(ex, "web/catalogue.css", "text/css; charset=utf-8");
                default -> notFound(ex);
            }
        } catch (RuntimeException e) {
            send(ex, 500, "text/plain; charset=utf-8", ("Internal error: " + e).getBytes(StandardCharsets.UTF_8));
        } finally {
            ex.close();
        }
    }

    private void app(HttpExchange ex) throws IOException {
        if (System.nanoTime() < readyAtNanos) {
            send(ex, 503, "text/plain; charset=utf-8", "Catalogue is starting".getBytes(StandardCharsets.UTF_8));
            return;
        }
        String raw = ex.getRequestURI().getRawQuery();
        lastAppQuery = raw == null ? "" : raw;
        redirect(ex, base + "/start" + (raw == null || raw.isEmpty() ? "" : "?" + raw));
    }

    private void exitRequest(HttpExchange ex, String codeText) throws IOException {
        int code;
        try {
            code = Integer.parseInt(codeText == null ? "" : codeText.trim());
        } catch (NumberFormatException e) {
            code = -1;
        }
        if (code < 0 || code > 255) {
            send(ex, 400, "text/plain; charset=utf-8", "code must be 0..255".getBytes(StandardCharsets.UTF_8));
            return;
        }
        send(ex, 200, "text/plain; charset=utf-8", ("Exiting with code " + code).getBytes(StandardCharsets.UTF_8));
        ex.close();
        final int exitCode = code;
        // Exit from a fresh thread so that the answer is on its way and no worker of the server's
        // pool is blocked in the exit sequence.
        Thread t = new Thread(() -> exit.accept(exitCode), "exit-request");
        t.start();
    }

    // ---- pages -------------------------------------------------------------------------------

    private String startPage(Map<String, String> query) {
        String locale = query.getOrDefault("locale", "");
        String name = project.progName(locale);
        StringBuilder b = new StringBuilder();
        b.append("<h1>").append(esc(name.isEmpty() ? TITLE : name)).append("</h1>\n");
        b.append("<p>Choose an assembly. Its drawing shows numbered callouts; the numbers are the ")
         .append("positions of the parts list below it.</p>\n");
        b.append("<h2>Assemblies</h2>\n");
        appendTree(b, null);
        if (!query.isEmpty()) {
            b.append("<h2>Start parameters</h2>\n<table class=\"params\" id=\"query\">\n");
            for (Map.Entry<String, String> e : query.entrySet())
                b.append("<tr><th>").append(esc(e.getKey())).append("</th><td>")
                 .append(esc(e.getValue())).append("</td></tr>\n");
            b.append("</table>\n");
        }
        return page(TITLE, b.toString());
    }

    private void appendTree(StringBuilder b, String parentId) {
        List<DemoCatalogue.Assembly> children = catalogue.children(parentId);
        if (children.isEmpty())
            return;
        b.append("<ul class=\"tree\">\n");
        for (DemoCatalogue.Assembly a : children) {
            b.append("<li><a href=\"").append(base).append("/assembly?id=").append(url(a.id())).append("\">")
             .append(esc(a.id())).append(" &ndash; ").append(esc(a.name())).append("</a>");
            appendTree(b, a.id());
            b.append("</li>\n");
        }
        b.append("</ul>\n");
    }

    private void assemblyPage(HttpExchange ex, String id) throws IOException {
        DemoCatalogue.Assembly a = catalogue.assembly(id);
        if (a == null) {
            notFound(ex);
            return;
        }
        StringBuilder b = new StringBuilder();
        b.append("<p class=\"path\"><a href=\"").append(base).append("/start\">Start</a>");
        for (DemoCatalogue.Assembly p : catalogue.path(a))
            b.append(" &rsaquo; <a href=\"").append(base).append("/assembly?id=").append(url(p.id())).append("\">")
             .append(esc(p.name())).append("</a>");
        b.append("</p>\n<h1>").append(esc(a.id())).append(" &ndash; ").append(esc(a.name())).append("</h1>\n");
        b.append("<img class=\"drawing\" alt=\"Drawing of ").append(esc(a.name())).append("\" src=\"")
         .append(base).append("/drawing.svg?id=").append(url(a.id())).append("\">\n");
        b.append("<table class=\"parts\">\n<tr><th>Pos.</th><th>Part number</th><th>Description</th>")
         .append("<th>Qty</th><th>Unit</th><th>Price (EUR)</th></tr>\n");
        for (DemoCatalogue.Part p : a.parts()) {
            b.append("<tr id=\"pos-").append(p.pos()).append("\"><td>").append(p.pos()).append("</td><td>");
            DemoCatalogue.Assembly sub = catalogue.assembly(p.number());
            String target = sub != null ? "/assembly?id=" : "/part?no=";
            b.append("<a href=\"").append(base).append(target).append(url(p.number())).append("\">")
             .append(esc(p.number())).append("</a></td><td>").append(esc(p.description())).append("</td><td>")
             .append(p.quantity()).append("</td><td>").append(esc(p.unit())).append("</td><td class=\"num\">")
             .append(price(p.priceCents())).append("</td></tr>\n");
        }
        b.append("</table>\n");
        List<DemoCatalogue.Assembly> subs = catalogue.children(a.id());
        if (!subs.isEmpty()) {
            b.append("<h2>Sub-assemblies</h2>\n");
            appendTree(b, a.id());
        }
        html(ex, 200, page(a.name() + " - " + TITLE, b.toString()));
    }

    private void drawing(HttpExchange ex, String id) throws IOException {
        DemoCatalogue.Assembly a = catalogue.assembly(id);
        if (a == null) {
            notFound(ex);
            return;
        }
        StringBuilder s = new StringBuilder();
        s.append("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"480\" height=\"300\" viewBox=\"0 0 480 300\">\n");
        s.append("<rect x=\"1\" y=\"1\" width=\"478\" height=\"298\" fill=\"#fbfbf8\" stroke=\"#555\"/>\n");
        s.append("<text x=\"10\" y=\"290\" font-family=\"sans-serif\" font-size=\"11\" fill=\"#555\">")
         .append(esc(a.id())).append("  ").append(esc(a.name())).append("</text>\n");
        // A schematic body: one outlined shape per part, a leader line and a numbered callout.
        for (DemoCatalogue.Part p : a.parts()) {
            int cx = 40 + p.x() * 4;
            int cy = 20 + p.y() * 24 / 10;
            int w = 30 + (p.number().length() % 5) * 8;
            int h = 18 + (p.pos() % 3) * 8;
            s.append("<rect x=\"").append(cx - w / 2).append("\" y=\"").append(cy - h / 2).append("\" width=\"")
             .append(w).append("\" height=\"").append(h).append("\" rx=\"4\" fill=\"#dfe7ef\" stroke=\"#345\"/>\n");
            int lx = cx + w / 2 + 18;
            int ly = cy - h / 2 - 14;
            s.append("<line x1=\"").append(cx + w / 2).append("\" y1=\"").append(cy - h / 2).append("\" x2=\"")
             .append(lx).append("\" y2=\"").append(ly).append("\" stroke=\"#a00\"/>\n");
            s.append("<circle cx=\"").append(lx).append("\" cy=\"").append(ly)
             .append("\" r=\"10\" fill=\"#fff\" stroke=\"#a00\" stroke-width=\"2\"/>\n");
            s.append("<text x=\"").append(lx).append("\" y=\"").append(ly + 4)
             .append("\" text-anchor=\"middle\" font-family=\"sans-serif\" font-size=\"12\" font-weight=\"bold\" fill=\"#a00\">")
             .append(p.pos()).append("</text>\n");
        }
        s.append("</svg>\n");
        send(ex, 200, "image/svg+xml", s.toString().getBytes(StandardCharsets.UTF_8));
    }

    private void partPage(HttpExchange ex, String number) throws IOException {
        List<Map.Entry<DemoCatalogue.Assembly, DemoCatalogue.Part>> uses =
            number == null ? List.of() : catalogue.usesOf(number);
        if (uses.isEmpty()) {
            notFound(ex);
            return;
        }
        DemoCatalogue.Part part = uses.get(0).getValue();
        StringBuilder b = new StringBuilder();
        b.append("<p class=\"path\"><a href=\"").append(base).append("/start\">Start</a></p>\n");
        b.append("<h1>").append(esc(part.number())).append("</h1>\n<p>").append(esc(part.description()))
         .append("</p>\n<p>Unit price: <b>").append(price(part.priceCents())).append(" EUR</b> per ")
         .append(esc(part.unit())).append("</p>\n<h2>Used in</h2>\n<ul>\n");
        for (Map.Entry<DemoCatalogue.Assembly, DemoCatalogue.Part> use : uses)
            b.append("<li><a href=\"").append(base).append("/assembly?id=").append(url(use.getKey().id()))
             .append("#pos-").append(use.getValue().pos()).append("\">").append(esc(use.getKey().name()))
             .append("</a>, position ").append(use.getValue().pos()).append(", quantity ")
             .append(use.getValue().quantity()).append("</li>\n");
        b.append("</ul>\n");
        html(ex, 200, page(part.number() + " - " + TITLE, b.toString()));
    }

    private String linksPage() {
        String b = "<h1>Links</h1>\n<ul>\n"
            + "<li><a id=\"inside\" href=\"" + base + "/assembly?id=CC10\">Inside the catalogue: control cabinet</a></li>\n"
            + "<li><a id=\"outside\" href=\"https://example.com/\">Outside site (example.com)</a></li>\n"
            + "<li><a id=\"newInside\" target=\"_blank\" href=\"" + base + "/part?no=PS-24-5\">New window: "
            + "power supply unit (inside)</a></li>\n"
            + "<li><a id=\"newOutside\" target=\"_blank\" href=\"https://example.com/\">New window: example.com "
            + "(outside)</a></li>\n"
            + "</ul>\n";
        return page("Links - " + TITLE, b);
    }

    private String scriptTitlePage() {
        String b = "<h1>Title from script</h1>\n<p id=\"state\">The script sets the document title.</p>\n"
            + "<script>\n"
            + "document.title = 'Script Title - " + TITLE + "';\n"
            + "document.getElementById('state').textContent = 'Title set by script: ' + document.title;\n"
            + "</script>\n";
        return page("Static Title - " + TITLE, b);
    }

    private String paramsPage(String rawQuery) {
        StringBuilder b = new StringBuilder("<h1>Parameters</h1>\n");
        b.append("<h2>Options before -args</h2>\n").append(list("startParams", args.startParams()));
        b.append("<h2>Application arguments</h2>\n").append(list("appArgs", args.appArgs()));
        b.append("<h2>Query of the last /app request</h2>\n");
        b.append(table("appQuery", parseQuery(lastAppQuery)));
        b.append("<h2>Query of this page</h2>\n").append(table("pageQuery", parseQuery(rawQuery)));
        b.append("<h2>Navigation parameters</h2>\n").append(table("navigation", args.navigationParams()));
        Map<String, String> counts = new LinkedHashMap<>();
        for (Map.Entry<String, AtomicInteger> e : requestCounts.entrySet())
            counts.put(e.getKey(), String.valueOf(e.getValue().get()));
        b.append("<h2>Requests by path</h2>\n").append(table("requests", counts));
        b.append("<h2>Project file</h2>\n<p id=\"project\">")
         .append(esc(String.valueOf(args.value(LaunchArguments.OPEN_CONFIG))));
        if (!project.error().isEmpty())
            b.append(" (not read: ").append(esc(project.error())).append(")");
        b.append("</p>\n");
        return page("Parameters - " + TITLE, b.toString());
    }

    private String page(String title, String body) {
        return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + esc(title)
            + "</title>\n<link rel=\"stylesheet\" href=\"" + base + "/catalogue.css\">\n</head>\n<body>\n"
            + "<nav><a href=\"" + base + "/start\">Start</a> <a href=\"" + base + "/links\">Links</a> "
            + "<a href=\"" + base + "/scripttitle\">Script title</a> <a href=\"" + base + "/params\">Parameters</a></nav>\n"
            + "<main>\n" + body + "</main>\n</body>\n</html>\n";
    }

    private void notFound(HttpExchange ex) throws IOException {
        html(ex, 404, page("Not Found - " + TITLE, "<h1>Not found</h1>\n<p><a href=\"" + base
            + "/start\">Back to the start page</a></p>\n"));
    }

    // ---- helpers -----------------------------------------------------------------------------

    private static String list(String id, List<String> items) {
        if (items.isEmpty())
            return "<p id=\"" + id + "\" class=\"empty\">(none)</p>\n";
        StringBuilder b = new StringBuilder("<ol id=\"" + id + "\">\n");
        for (String item : items)
            b.append("<li>").append(esc(item)).append("</li>\n");
        return b.append("</ol>\n").toString();
    }

    private static String table(String id, Map<String, String> rows) {
        if (rows.isEmpty())
            return "<p id=\"" + id + "\" class=\"empty\">(none)</p>\n";
        StringBuilder b = new StringBuilder("<table class=\"params\" id=\"" + id + "\">\n");
        for (Map.Entry<String, String> e : rows.entrySet())
            b.append("<tr><th>").append(esc(e.getKey())).append("</th><td>").append(esc(e.getValue()))
             .append("</td></tr>\n");
        return b.append("</table>\n").toString();
    }

    static Map<String, String> parseQuery(String raw) {
        Map<String, String> result = new LinkedHashMap<>();
        if (raw == null || raw.isEmpty())
            return result;
        for (String piece : raw.split("&")) {
            if (piece.isEmpty())
                continue;
            int eq = piece.indexOf('=');
            String key = eq < 0 ? piece : piece.substring(0, eq);
            String value = eq < 0 ? "" : piece.substring(eq + 1);
            result.putIfAbsent(decode(key), decode(value));
        }
        return result;
    }

    private static String decode(String text) {
        try {
            return URLDecoder.decode(text, StandardCharsets.UTF_8);
        } catch (IllegalArgumentException e) {
            return text;   // a lone "%" in a navigation parameter: show it as it came
        }
    }

    private static String url(String text) {
        return URLEncoder.encode(text, StandardCharsets.UTF_8);
    }

    static String esc(String text) {
        StringBuilder b = new StringBuilder(text.length() + 16);
        for (int i = 0; i < text.length(); i++) {
            char c = text.charAt(i);
            switch (c) {
                case '&' -> b.append("&amp;");
                case '<' -> b.append("&lt;");
                case '>' -> b.append("&gt;");
                case '"' -> b.append("&quot;");
                case '\'' -> b.append("&#39;");
                default -> b.append(c);
            }
        }
        return b.toString();
    }

    private static String price(long cents) {
        return String.format(Locale.ROOT, "%d.%02d", cents / 100, cents % 100);
    }

    private void redirect(HttpExchange ex, String location) throws IOException {
        ex.getResponseHeaders().set("Location", location);
        send(ex, 302, "text/plain; charset=utf-8", ("Moved to " + location).getBytes(StandardCharsets.UTF_8));
    }

    private void html(HttpExchange ex, int status, String html) throws IOException {
        send(ex, status, "text/html; charset=utf-8", html.getBytes(StandardCharsets.UTF_8));
    }

    private void resource(HttpExchange ex, String name, String type) throws IOException {
        try (InputStream in = CatalogueServer.class.getResourceAsStream(name)) {
            if (in == null) {
                notFound(ex);
                return;
            }
            send(ex, 200, type, in.readAllBytes());
        }
    }

    private static void send(HttpExchange ex, int status, String type, byte[] body) throws IOException {
        ex.getResponseHeaders().set("Content-Type", type);
        ex.getResponseHeaders().set("Cache-Control", "no-store");
        boolean head = "HEAD".equalsIgnoreCase(ex.getRequestMethod());
        ex.sendResponseHeaders(status, head || body.length == 0 ? -1 : body.length);
        if (!head) {
            try (OutputStream out = ex.getResponseBody()) {
                out.write(body);
            }
        }
    }
}
