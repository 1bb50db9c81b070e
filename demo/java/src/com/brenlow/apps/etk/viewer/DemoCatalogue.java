package com.brenlow.apps.etk.viewer;

import java.util.ArrayList;
import java.util.Collections;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

/** The demo's parts catalogue: a small tree of assemblies, each with a parts list and a drawing. */
final class DemoCatalogue {
    /** One row of a parts list; x and y place its callout on the assembly drawing (0..100). */
    record Part(int pos, String number, String description, int quantity, String unit,
                long priceCents, int x, int y) {
    }

    record Assembly(String id, String name, String parentId, List<Part> parts) {
    }

    private final Map<String, Assembly> assemblies = new LinkedHashMap<>();

    DemoCatalogue() {
        add("DP200", "Pump unit DP-200", null,
            part(1, "DP-200-100", "Motor assembly, complete", 1, "pc", 89000, 22, 40),
            part(2, "DP-200-200", "Pump housing, complete", 1, "pc", 64550, 62, 42),
            part(3, "DP-200-300", "Base frame, welded", 1, "pc", 23900, 45, 80),
            part(4, "DIN933-M10x30", "Hexagon head screw M10 x 30, 8.8", 8, "pc", 35, 80, 78),
            part(5, "DIN125-A10.5", "Washer A 10.5", 8, "pc", 6, 88, 64));
        add("DP200-M", "Motor assembly", "DP200",
            part(1, "MT-4K-112", "Three-phase motor 4 kW, 1450 rpm", 1, "pc", 61200, 40, 45),
            part(2, "MT-FAN-112", "Fan impeller, plastic", 1, "pc", 1890, 12, 45),
            part(3, "MT-COV-112", "Fan cover", 1, "pc", 2450, 8, 25),
            part(4, "KB-6206-2RS", "Deep groove ball bearing 6206-2RS", 2, "pc", 1275, 65, 30),
            part(5, "TB-M20", "Terminal box with cable gland M20", 1, "pc", 3380, 45, 15));
        add("DP200-H", "Pump housing", "DP200",
            part(1, "PH-200-01", "Spiral casing, grey cast iron", 1, "pc", 31800, 55, 50),
            part(2, "PH-200-02", "Casing cover", 1, "pc", 12400, 25, 50),
            part(3, "OR-180x4", "O-ring 180 x 4, NBR", 1, "pc", 420, 35, 22),
            part(4, "MS-25-K", "Mechanical seal 25 mm, carbon/SiC", 1, "pc", 9650, 15, 80),
            part(5, "DP200-I", "Impeller set (see assembly)", 1, "set", 18700, 75, 75));
        add("DP200-I", "Impeller set", "DP200-H",
            part(1, "IM-200-5", "Closed impeller, 5 blades, 200 mm", 1, "pc", 14900, 50, 50),
            part(2, "IM-KEY-8", "Feather key 8 x 7 x 32", 1, "pc", 180, 20, 25),
            part(3, "IM-NUT-M16", "Impeller nut M16, left-hand thread", 1, "pc", 560, 80, 30));
        add("DP200-F", "Base frame", "DP200",
            part(1, "BF-200-W", "Base frame, welded steel", 1, "pc", 19800, 50, 55),
            part(2, "BF-FOOT-M12", "Levelling foot M12", 4, "pc", 610, 15, 85));
        add("CC10", "Control cabinet CC-10", null,
            part(1, "CC-10-ENC", "Enclosure 600 x 400 x 200, RAL 7035", 1, "pc", 28900, 50, 50),
            part(2, "CC10-P", "Power supply (see assembly)", 1, "pc", 15800, 25, 30),
            part(3, "CC-10-PLC", "Controller with 16 inputs / 12 outputs", 1, "pc", 54300, 70, 30),
            part(4, "CC-10-MS", "Main switch 25 A, lockable", 1, "pc", 7950, 85, 75));
        add("CC10-P", "Power supply", "CC10",
            part(1, "PS-24-5", "Power supply unit 24 V DC, 5 A", 1, "pc", 11200, 40, 40),
            part(2, "FU-6A-C", "Circuit breaker C6, 1-pole", 2, "pc", 1490, 75, 40),
            part(3, "TB-4-GY", "Terminal block 4 mm2, grey", 12, "pc", 95, 55, 80));
    }

    private static Part part(int pos, String number, String description, int quantity, String unit,
                             long priceCents, int x, int y) {
        return new Part(pos, number, description, quantity, unit, priceCents, x, y);
    }

    private void add(String id, String name, String parentId, Part... parts) {
        assemblies.put(id, new Assembly(id, name, parentId, List.of(parts)));
    }

    Assembly assembly(String id) {
        return id == null ? null : assemblies.get(id);
    }

    List<Assembly> children(String parentId) {
        List<Assembly> result = new ArrayList<>();
        for (Assembly a : assemblies.values())
            if (parentId == null ? a.parentId() == null : parentId.equals(a.parentId()))
                result.add(a);
        return result;
    }

    /** The assembly and its ancestors, root first. */
    List<Assembly> path(Assembly assembly) {
        List<Assembly> result = new ArrayList<>();
        for (Assembly a = assembly; a != null; a = assembly(a.parentId()))
            result.add(a);
        Collections.reverse(result);
        return result;
    }

    /** Every occurrence of a part number: the assembly and the row. */
    List<Map.Entry<Assembly, Part>> usesOf(String number) {
        List<Map.Entry<Assembly, Part>> result = new ArrayList<>();
        for (Assembly a : assemblies.values())
            for (Part p : a.parts())
                if (p.number().equals(number))
                    result.add(Map.entry(a, p));
        return result;
    }
}
