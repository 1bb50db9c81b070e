package com.brenlow.apps.etk.viewer;

import java.util.ArrayList;
import java.util.Collections;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

/**
 * The launcher's command line as the application receives it: options before "-args" (the
 * launcher also puts its virtual-machine style options there, after the main class), then the
 * application arguments "key=value". Values may carry one pair of surrounding quotes, as in
 * openconfig="D:\Data\Etk.blk"; they are removed. A launcher that passes "-args a b c" as one
 * argument is understood too.
 */
final class LaunchArguments {
    static final String PORT = "embeddedWebAppPort";
    static final String CONTEXT = "embeddedWebAppContext";
    static final String BROWSER_MODE = "embeddedWebAppBrowserMode";
    static final String OPEN_CONFIG = "openconfig";
    static final String START_DELAY = "demoStartDelayMs";

    private final List<String> startParams = new ArrayList<>();
    private final List<String> appArgs = new ArrayList<>();
    private final Map<String, String> values = new LinkedHashMap<>();

    static LaunchArguments parse(String[] argv) {
        LaunchArguments result = new LaunchArguments();
        boolean seenArgs = false;
        for (String item : argv) {
            if (item.equalsIgnoreCase("-args")) {
                seenArgs = true;
            } else if (item.regionMatches(true, 0, "-args ", 0, 6)) {
                seenArgs = true;
                for (String piece : splitCommandLine(item.substring(6)))
                    result.addAppArg(piece);
            } else if (seenArgs || (!item.startsWith("-") && item.indexOf('=') > 0)) {
                result.addAppArg(item);
            } else {
                result.startParams.add(item);
            }
        }
        return result;
    }

    private void addAppArg(String arg) {
        appArgs.add(arg);
        int eq = arg.indexOf('=');
        if (eq > 0) {
            String key = arg.substring(0, eq);
            // The first occurrence wins, as the launcher's own lookups do.
            values.putIfAbsent(key, unquote(arg.substring(eq + 1)));
        }
    }

    /** Splits a text at blanks outside double quotes; the quotes stay in the pieces. */
    static List<String> splitCommandLine(String text) {
        List<String> pieces = new ArrayList<>();
        StringBuilder current = new StringBuilder();
        boolean quoted = false;
        boolean any = false;
        for (int i = 0; i < text.length(); i++) {
            char c = text.charAt(i);
            if (c == '"') {
                quoted = !quoted;
                current.append(c);
                any = true;
            } else if (c <= ' ' && !quoted) {
                if (any)
                    pieces.add(current.toString());
                current.setLength(0);
                any = false;
            } else {
                current.append(c);
                any = true;
            }
        }
        if (any)
            pieces.add(current.toString());
        return pieces;
    }

    static String unquote(String value) {
        if (value.length() >= 2) {
            char first = value.charAt(0);
            char last = value.charAt(value.length() - 1);
            if ((first == '"' || first == '\'') && last == first)
                return value.substring(1, value.length() - 1);
        }
        return value;
    }

    List<String> startParams() {
        return Collections.unmodifiableList(startParams);
    }

    List<String> appArgs() {
        return Collections.unmodifiableList(appArgs);
    }

    String value(String key) {
        return values.get(key);
    }

    int intValue(String key, int fallback) {
        String text = values.get(key);
        if (text == null)
            return fallback;
        try {
            return Integer.parseInt(text.trim());
        } catch (NumberFormatException e) {
            return fallback;
        }
    }

    /** Arguments that are neither the server's own settings nor the project file: navigation. */
    Map<String, String> navigationParams() {
        Map<String, String> result = new LinkedHashMap<>();
        for (Map.Entry<String, String> e : values.entrySet()) {
            String k = e.getKey();
            if (!k.startsWith("embeddedWebApp") && !k.equals(OPEN_CONFIG) && !k.equals(START_DELAY))
                result.put(k, e.getValue());
        }
        return result;
    }
}
