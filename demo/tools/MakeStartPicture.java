import java.awt.BasicStroke;
import java.awt.Color;
import java.awt.Font;
import java.awt.GradientPaint;
import java.awt.Graphics2D;
import java.awt.RenderingHints;
import java.awt.image.BufferedImage;
import java.io.File;
import javax.imageio.ImageIO;

/** Draws the demo catalogue's start picture: java MakeStartPicture.java <out.png> <version>. */
public class MakeStartPicture {
    public static void main(String[] args) throws Exception {
        int w = 480, h = 300;
        BufferedImage img = new BufferedImage(w, h, BufferedImage.TYPE_INT_RGB);
        Graphics2D g = img.createGraphics();
        g.setRenderingHint(RenderingHints.KEY_ANTIALIASING, RenderingHints.VALUE_ANTIALIAS_ON);
        g.setRenderingHint(RenderingHints.KEY_TEXT_ANTIALIASING, RenderingHints.VALUE_TEXT_ANTIALIAS_ON);
        g.setPaint(new GradientPaint(0, 0, new Color(0x23415f), 0, h, new Color(0x3f6f9a)));
        g.fillRect(0, 0, w, h);
        // A stylised pump: housing, impeller and base.
        g.setColor(new Color(0xdfe7ef));
        g.setStroke(new BasicStroke(4));
        g.drawOval(300, 60, 130, 130);
        g.drawOval(340, 100, 50, 50);
        for (int i = 0; i < 6; i++) {
            double a = Math.PI * i / 3;
            g.drawLine(365, 125, 365 + (int) (40 * Math.cos(a)), 125 + (int) (40 * Math.sin(a)));
        }
        g.fillRect(290, 200, 150, 14);
        g.setFont(new Font(Font.SANS_SERIF, Font.BOLD, 28));
        g.setColor(Color.WHITE);
        g.drawString("Demo Parts", 30, 110);
        g.drawString("Catalogue", 30, 146);
        g.setFont(new Font(Font.SANS_SERIF, Font.PLAIN, 14));
        g.drawString("Version " + (args.length > 1 ? args[1] : ""), 30, 180);
        g.drawString("Loading ...", 30, 270);
        g.dispose();
        File out = new File(args[0]);
        out.getParentFile().mkdirs();
        if (!ImageIO.write(img, "png", out))
            throw new IllegalStateException("no PNG writer");
    }
}
